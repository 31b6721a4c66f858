#include "app/KoMainWindow.h"

#include "app/DragOverlayView.h"
#include "app/KoContentView.h"
#include "kit/Settings.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QFileDialog>
#include <QMenuBar>
#include <QStandardPaths>

namespace ombrelay {

namespace {
const QString kFrameKey = QStringLiteral("kKoMainWindow");
}

KoMainWindow::KoMainWindow(KoDownloadsController& downloads, QWidget* parent)
    : QMainWindow(parent),
      m_downloads(downloads),
      m_contentView(new KoContentView(this)),
      m_dragOverlay(new DragOverlayView(m_contentView))
{
    setAcceptDrops(true);
    setWindowTitle(QStringLiteral("Ombrelay"));
    setObjectName(kFrameKey);
    setCentralWidget(m_contentView);
    m_contentView->showView(downloads.mainView());
    connect(&downloads, &KoDownloadsController::showPaneRequested, this,
            [this] { m_contentView->showView(m_downloads.mainView()); });
    buildMenus();
    resize(900, 560);
    const QByteArray frame = Settings::instance().bytes(kFrameKey);
    if (!frame.isEmpty())
        restoreGeometry(QByteArray::fromBase64(frame));
}

QString KoMainWindow::openPanelFilter()
{
    return tr("Torrent files (*.torrent *.tstream)");
}

void KoMainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Open…"), QKeySequence::Open, this, &KoMainWindow::showOpenPanel);
    file->addSeparator();
    file->addAction(tr("Clear Complete"), this, [this] { m_downloads.outlineView()->clearAllComplete(); });
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence::Quit, this, &KoMainWindow::quitRequested);
    QMenu* torrent = menuBar()->addMenu(tr("&Transfers"));
    torrent->addAction(tr("Open"), this, [this] { m_downloads.outlineView()->openSelected(); });
    torrent->addAction(tr("Reveal"), this, [this] { m_downloads.outlineView()->revealSelected(); });
    torrent->addAction(tr("Quick Look"), this, [this] { m_downloads.outlineView()->toggleQuickLook(); });
    torrent->addAction(tr("Remove"), this, [this] { m_downloads.outlineView()->removeSelected(); });
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
    // Closing the main window quits; the application decides whether to ask first.
    event->ignore();
    emit quitRequested();
}

}  // namespace ombrelay
