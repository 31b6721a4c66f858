#include "app/frame/KoMainWindow.h"

#include "app/desktop/AdView.h"
#include "app/desktop/DragOverlayView.h"
#include "app/frame/KoContentView.h"
#include "app/frame/LeftSideView.h"
#include "app/frame/MainSplitView.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SideStatusView.h"
#include "app/frame/SourceView.h"
#include "app/frame/WindowComposition.h"
#include "app/tabs/CurrentTabView.h"
#include "app/tabs/MainPaneController.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/toolbar/KoAnonymousToolbarDelegate.h"
#include "app/toolbar/KoDownloadsToolbarDelegate.h"
#include "app/toolbar/QueryToolbarDelegate.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "search/feeds/RSSLine.h"
#include "search/suggestions/SearchField.h"
#include "search/views/RSSController.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/StatsView.h"
#include "uikit/KeyViewLoop.h"
#include "uikit/PZOutlineView.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QStandardPaths>

namespace ombrelay {

namespace {
const QString kFrameKey = QStringLiteral("kKoMainWindow");
}

KoMainWindow::KoMainWindow(KoDownloadsController& downloads, QWidget* parent)
    : QMainWindow(parent),
      m_downloads(downloads),
      m_contentView(new KoContentView(this))
{
    setAcceptDrops(true);
    new WindowComposition(*this, [this] { makeNativeWindowAnew(); });
    setWindowTitle(QStringLiteral("Ombrelay"));
    setObjectName(kFrameKey);
    buildFrame();
    connect(&downloads, &KoDownloadsController::showPaneRequested, this, [this] { m_selection->showDownloadsPane(0); });
    // Site icons that arrive show at once.
    listenForNotification(this, QStringLiteral("PZFaviconLoaderDidLoad"), [this](const Notification&) { update(); m_sourceView->viewport()->update(); });
    resize(1000, 640);
    const QByteArray frame = Settings::instance().bytes(kFrameKey);
    if (frame.isEmpty() || !restoreGeometry(QByteArray::fromBase64(frame)))
        centerOnScreen();
}

// Qt chooses how a window is composited as it makes the window's native window.
void KoMainWindow::makeNativeWindowAnew()
{
    const bool shown = isVisible();
    destroy();
    create();
    if (shown)
        show();
}

void KoMainWindow::centerOnScreen()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

KoMainWindow::~KoMainWindow()
{
    stopListening(this);
    if (auto* field = qobject_cast<SearchField*>(KoToolbarDelegate::searchView()))
        field->setKeyViews({});
    // The panes own their views: they go before the switcher that shows them.
    delete m_selection;
}

void KoMainWindow::buildFrame()
{
    Settings& settings = Settings::instance();
    m_contentView->setSettings(&settings);
    m_contentView->setDownloadsView(m_downloads.mainView());
    m_contentView->setDownloadsToolbarDelegate(new KoDownloadsToolbarDelegate(m_downloads, this));
    m_contentView->setAnonymousView(new AdView(m_contentView), &KoAnonymousToolbarDelegate::instance());
    m_sourceView = new SourceView(settings);
    m_splitView = new MainSplitView(settings, this);
    m_statusView = new SideStatusView(m_splitView);
    m_statusView->setDisplayModeProvider([this] {
        const QToolBar* toolbar = m_contentView->currentToolbar();
        return toolbar && toolbar->toolButtonStyle() == Qt::ToolButtonTextUnderIcon ? 1 : 2;
    });
    m_splitView->setSubviews(new LeftSideView(m_sourceView, m_downloads.statsView(), m_statusView), m_contentView);
    setCentralWidget(m_splitView);
    m_dragOverlay = new DragOverlayView(m_splitView);
    connect(m_splitView, &MainSplitView::sidebarWidthChanged, this, &KoMainWindow::updateMinimumSize);

    m_selection = new SelectionController(*m_contentView, this);
    m_selection->setSourceView(m_sourceView);
    m_selection->setPaneFactory(&m_paneFactory);
    m_paneFactory.setLastTabClosedHandler([this] { m_sourceView->clearSelection(); });
    m_paneFactory.setItemNeedsDisplayHandler([this] { m_sourceView->viewport()->update(); });
    m_queryToolbar = new QueryToolbarDelegate([this] { return selectedResultsPane(); }, this);
    m_paneFactory.setResultsListShownHandler([this] { m_contentView->setToolbarDelegate(m_queryToolbar); });
    MainPaneController::setFeedControllerMaker([](const QVariantMap& item) { return new RSSController(item); });
    // An article opens in a web tab of the pane in front, in the background with Ctrl held.
    RSSLine::setWebTabOpener([](const QUrl& address, bool select) {
        CurrentTabView::instance().newTabWithURL(address, select);
    });
    StatsView* stats = m_downloads.statsView();
    m_selection->setStatsEntry(stats, [stats](bool on) { stats->setTransfersViewShown(on); });
    if (auto* field = qobject_cast<SearchField*>(KoToolbarDelegate::searchView()))
        field->setKeyViews([this](bool next) { return searchFieldKeyView(next); });
    // The transfers row only shows the transfers: the filter tab stays as the user left it.
    connect(stats, &StatsView::activated, m_selection, &SelectionController::statsEntryClicked);
    m_selection->setTransfersTabSelector([this](int index) {
        if (m_downloads.tabView())
            m_downloads.tabView()->selectButtonAtIndex(index);
    });
    m_sourceView->setSelectionController(m_selection);
    addActions(m_selection->actions());
    m_sourceView->loadFromDefaults();
    m_contentView->showAnonymousView();
    updateMinimumSize();
}

QWidget* KoMainWindow::searchFieldKeyView(bool next) const
{
    if (next)
        return m_contentView->currentView() == m_downloads.mainView() ? static_cast<QWidget*>(m_downloads.statsView())
                                                                      : m_sourceView;
    return KeyViewLoop::currentListWithRowSelected();
}

ResultsPane* KoMainWindow::selectedResultsPane() const
{
    SourceItem* item = m_sourceView->selectedItem();
    if (!item || !m_selection->hasControllerForItem(item))
        return nullptr;
    auto* pane = dynamic_cast<MainPaneController*>(m_selection->controllerForItem(item));
    return pane ? pane->resultsPane() : nullptr;
}

void KoMainWindow::updateMinimumSize()
{
    const int chrome = centralWidget() && isVisible() ? height() - centralWidget()->height() : 0;
    setMinimumSize(m_splitView->sidebarWidth() + MainSplitView::kMinimumContentWidth, chrome + 99);
}

void KoMainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    updateMinimumSize();
}

void KoMainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The sidebar, tab strips and list selections draw differently in an active window.
    if (event->type() == QEvent::ActivationChange) {
        m_splitView->update();
        m_sourceView->viewport()->update();
        m_downloads.statsView()->update();
    }
}

void KoMainWindow::flagsChanged(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        postNotificationAboutSelf(this, QStringLiteral("PZFlagsChangedNotification"));
        break;
    default:
        break;
    }
}

void KoMainWindow::keyPressEvent(QKeyEvent* event)
{
    flagsChanged(event);
    QMainWindow::keyPressEvent(event);
}

void KoMainWindow::keyReleaseEvent(QKeyEvent* event)
{
    flagsChanged(event);
    QMainWindow::keyReleaseEvent(event);
}

QString KoMainWindow::openPanelFilter()
{
    return tr("Torrent files (*.torrent *.tstream)");
}

void KoMainWindow::showOpenPanel()
{
    const QString start = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    auto* panel = new QFileDialog(this, tr("Open"), start, openPanelFilter());
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::filesSelected, this, &KoMainWindow::openFilesChosen);
    panel->open();
}

void KoMainWindow::saveFrame()
{
    Settings::instance().setValue(kFrameKey, QString::fromLatin1(saveGeometry().toBase64()));
}

void KoMainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    raise();
    activateWindow();
    m_dragOverlay->shouldAnimateIn(event->mimeData());
    if (m_dragOverlay->prepareForDragOperation()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void KoMainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_dragOverlay->prepareForDragOperation()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }
}

void KoMainWindow::dragLeaveEvent(QDragLeaveEvent*)
{
    m_dragOverlay->shouldAnimateOut();
}

void KoMainWindow::dropEvent(QDropEvent* event)
{
    if (m_dragOverlay->performDragOperation()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }
}

void KoMainWindow::closeEvent(QCloseEvent* event)
{
    // The application decides: hidden to the tray, or a quit that may ask first.
    event->ignore();
    emit closeRequested();
}

}  // namespace ombrelay
