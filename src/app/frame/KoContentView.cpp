#include "app/frame/KoContentView.h"

#include "app/desktop/AdView.h"
#include "app/toolbar/MainToolbar.h"
#include "app/toolbar/ToolbarConfiguration.h"
#include "app/toolbar/ToolbarCustomizePanel.h"
#include "app/toolbar/ToolbarDelegate.h"
#include "kit/Settings.h"
#include "uikit/KeyViewLoop.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScrollBar>
#include <QToolBar>

namespace ombrelay {

KoContentView::KoContentView(QWidget* parent) : QStackedWidget(parent) {}

KoContentView::~KoContentView()
{
    disconnect(m_tableSelection);
}

Settings& KoContentView::settings() const
{
    return m_settings ? *m_settings : Settings::instance();
}

void KoContentView::setAnonymousView(QWidget* view, ToolbarDelegate* delegate)
{
    m_anonymousView = view;
    m_anonymousDelegate = delegate;
}

QWidget* KoContentView::anonymousView()
{
    if (!m_anonymousView)
        m_anonymousView = new AdView(this);
    return m_anonymousView;
}

void KoContentView::showAnonymousView()
{
    showView(anonymousView());
    if (m_anonymousDelegate)
        setToolbarDelegate(m_anonymousDelegate);
    currentWidget()->repaint();
}

void KoContentView::showMainPane(QWidget* view)
{
    showView(view);
}

void KoContentView::showDownloadsView()
{
    showView(m_downloadsView);
    if (m_downloadsDelegate)
        setToolbarDelegate(m_downloadsDelegate);
}

QAbstractItemView* KoContentView::currentTableView() const
{
    return KeyViewLoop::listInView(currentWidget());
}

void KoContentView::showView(QWidget* view)
{
    if (!view || view == currentWidget())
        return;
    disconnect(m_tableSelection);
    QAbstractItemView* table = KeyViewLoop::listInView(view);
    const QPoint origin = table ? QPoint(table->horizontalScrollBar()->value(), table->verticalScrollBar()->value()) : QPoint();
    selectionIsChanging();
    if (indexOf(view) < 0)
        addWidget(view);
    setCurrentWidget(view);
    if (table) {
        // Showing may lay the list out again; it comes back where the user left it.
        table->horizontalScrollBar()->setValue(origin.x());
        table->verticalScrollBar()->setValue(origin.y());
        if (table->selectionModel())
            m_tableSelection = connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                                       &KoContentView::selectionIsChanging);
    }
    update();
}

void KoContentView::selectionIsChanging()
{
    if (m_toolbar && m_toolbarDelegate)
        m_toolbarDelegate->validateVisibleItems(*m_toolbar);
}

void KoContentView::setToolbarDelegate(ToolbarDelegate* delegate, bool force)
{
    auto* mainWindow = qobject_cast<QMainWindow*>(window());
    if (!delegate || !mainWindow)
        return;
    if (m_toolbarDelegate == delegate && !force)
        return;
    const QString identifier = delegate->toolbarIdentifier();
    if (!m_toolbar) {
        m_toolbar = new MainToolbar(mainWindow);
        m_toolbar->setObjectName(identifier);
        m_toolbar->setMovable(false);
        m_toolbar->setFloatable(false);
        m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        // The first toolbar shows as its delegate's stored settings say (as registered: labels under icons).
        ToolbarConfiguration::read(settings(), identifier).apply(*m_toolbar);
        connect(m_toolbar, &MainToolbar::customizeRequested, this, &KoContentView::customizeToolbar);
        mainWindow->addToolBar(m_toolbar);
    }
    if (m_toolbarDelegate && m_toolbarDelegate != delegate)
        ToolbarConfiguration::fromToolbar(*m_toolbar).write(settings(), m_toolbarDelegate->toolbarIdentifier());
    // The display settings travel to the incoming delegate; its items are its own arrangement.
    const ToolbarConfiguration current = ToolbarConfiguration::fromToolbar(*m_toolbar);
    ToolbarConfiguration incoming = ToolbarConfiguration::read(settings(), identifier);
    for (const QString& key : ToolbarConfiguration::displayKeys())
        incoming.setValue(key, current.value(key));
    incoming.write(settings(), identifier);
    m_toolbarDelegate = delegate;
    // A shared item (the search field) keeps the keyboard focus across the swap.
    QWidget* focused = QApplication::focusWidget();
    if (focused && !m_toolbar->isAncestorOf(focused))
        focused = nullptr;
    showItems(*delegate);
    ToolbarConfiguration::read(settings(), identifier).apply(*m_toolbar);
    delegate->validateVisibleItems(*m_toolbar);
    m_toolbar->setVisible(true);
    if (focused && m_toolbar->isAncestorOf(focused)) {
        // The toolbar shows its items once it has laid them out.
        m_toolbar->layout()->activate();
        focused->setFocus(Qt::OtherFocusReason);
    }
    delegate->validateVisibleItems(*m_toolbar);
}

void KoContentView::showItems(ToolbarDelegate& delegate)
{
    m_toolbar->setItems(delegate, ToolbarConfiguration::items(settings(), delegate.toolbarIdentifier(),
                                                              delegate.toolbarAllowedItemIdentifiers(),
                                                              delegate.toolbarDefaultItemIdentifiers()));
}

void KoContentView::customizeToolbar()
{
    ToolbarDelegate* delegate = m_toolbarDelegate;
    if (!m_toolbar || !delegate)
        return;
    ToolbarCustomizePanel::Choices choices;
    choices.allowed = delegate->toolbarAllowedItemIdentifiers();
    choices.defaults = delegate->toolbarDefaultItemIdentifiers();
    choices.items = m_toolbar->itemIdentifiers();
    choices.label = [delegate](const QString& identifier) {
        const QAction* item = delegate->toolbarItem(identifier);
        return item ? item->text() : QString();
    };
    choices.displayMode = ToolbarConfiguration::fromToolbar(*m_toolbar).value(ToolbarConfiguration::kDisplayMode).toInt();
    auto* panel = new ToolbarCustomizePanel(std::move(choices), window());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    // The toolbar follows each change; the arrangement is stored under the delegate's identifier.
    connect(panel, &ToolbarCustomizePanel::itemsChanged, this, [this, delegate](const QStringList& items) {
        ToolbarConfiguration::writeItems(settings(), delegate->toolbarIdentifier(), items);
        if (m_toolbarDelegate == delegate) {
            showItems(*delegate);
            delegate->validateVisibleItems(*m_toolbar);
        }
    });
    connect(panel, &ToolbarCustomizePanel::displayModeChanged, this, [this, delegate](int mode) {
        ToolbarConfiguration display;
        display.setValue(ToolbarConfiguration::kDisplayMode, QString::number(mode));
        display.apply(*m_toolbar);
        ToolbarConfiguration::fromToolbar(*m_toolbar).write(settings(), delegate->toolbarIdentifier());
    });
    panel->show();
}

void KoContentView::applicationWillTerminate()
{
    if (m_toolbar && m_toolbarDelegate)
        ToolbarConfiguration::fromToolbar(*m_toolbar).write(settings(), m_toolbarDelegate->toolbarIdentifier());
    if (m_anonymousDelegate)
        setToolbarDelegate(m_anonymousDelegate);
}

}  // namespace ombrelay
