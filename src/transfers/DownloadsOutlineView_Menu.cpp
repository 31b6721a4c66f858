#include "transfers/DownloadsOutlineView.h"

#include "engine/torrent/OBLine.h"
#include "platform/MediaLibrary.h"
#include "transfers/DesktopFiles.h"
#include "transfers/TransferItem.h"

#include <QContextMenuEvent>
#include <QIcon>
#include <QMenu>

namespace ombrelay {
namespace {

bool takenByMediaLibrary(const QString& extension)
{
    return MediaLibrary::takesMusic(extension) || MediaLibrary::takesVideo(extension);
}

}  // namespace

void DownloadsOutlineView::selectRowAtPoint(const QPoint& point)
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        clearSelection();
    else if (!selectionModel()->isRowSelected(index.row(), index.parent()))
        selectObjects({objectAt(index)});
    setFocus(Qt::PopupFocusReason);
}

bool DownloadsOutlineView::validateMenuItem(MenuItem item) const
{
    switch (item) {
    case MenuItem::Open: return selectedObjects().size() == 1 && !selectedPath().isEmpty();
    case MenuItem::Reveal: return !selectedPath().isEmpty();
    case MenuItem::QuickLook: return !selectedObjects().isEmpty();  // an open preview follows the selection
    case MenuItem::Remove: return !selectedTorrents().isEmpty();
    }
    return false;
}

QMenu* DownloadsOutlineView::menuForPoint(const QPoint& point)
{
    selectRowAtPoint(point);
    auto* menu = new QMenu(this);
    if (validateMenuItem(MenuItem::Open)) {
        menu->addSeparator();
        menu->addAction(tr("Open"), this, &DownloadsOutlineView::openSelected);
        menu->addMenu(openWithSubmenuForPath(selectedPath(), menu));
    }
    if (validateMenuItem(MenuItem::QuickLook)) {
        menu->addSeparator();
        menu->addAction(tr("Quick Look"), this, &DownloadsOutlineView::toggleQuickLook);
        if (canOpenSelectedIniTunes()) {
            menu->addSeparator();
            menu->addAction(tr("Add to Music Library"), this, &DownloadsOutlineView::addSongToPlaylist);
        }
    }
    if (validateMenuItem(MenuItem::Remove)) {
        menu->addSeparator();
        menu->addAction(tr("Remove"), this, &DownloadsOutlineView::removeSelected);
    }
    // A separator left at the top.
    const QList<QAction*> actions = menu->actions();
    if (!actions.isEmpty() && actions.first()->isSeparator())
        menu->removeAction(actions.first());
    return menu;
}

bool DownloadsOutlineView::canOpenSelectedIniTunes() const
{
    if (!m_addToLibrary)
        return false;
    for (PZOutlineObject* object : selectedObjects()) {
        const OBLine* line = static_cast<TransferItem*>(object)->line();
        if (line->isComplete() && takenByMediaLibrary(line->pathExtension()))
            return true;
    }
    return false;
}

void DownloadsOutlineView::addSongToPlaylist()
{
    if (!m_addToLibrary)
        return;
    for (PZOutlineObject* object : selectedObjects()) {
        const OBLine* line = static_cast<TransferItem*>(object)->line();
        if (line->isComplete() && takenByMediaLibrary(line->pathExtension()))
            m_addToLibrary(line->fullPath());
    }
}

QMenu* DownloadsOutlineView::openWithSubmenuForPath(const QString& path, QWidget* parent)
{
    auto* submenu = new QMenu(tr("Open With"), parent);
    for (const DesktopFiles::Application& application : DesktopFiles::applicationsForPath(path)) {
        const QString desktopFile = application.desktopFile;
        QAction* action = submenu->addAction(QIcon::fromTheme(application.iconName), application.name, this,
                                             [this, desktopFile] { openSelectedWithApplication(desktopFile); });
        action->setData(desktopFile);
    }
    return submenu;
}

void DownloadsOutlineView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = menuForPoint(event->pos());  // viewport coordinates
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

}  // namespace ombrelay
