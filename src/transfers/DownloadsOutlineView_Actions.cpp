#include "transfers/DownloadsOutlineView.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/Settings.h"
#include "transfers/DesktopFiles.h"
#include "transfers/PreviewWindow.h"
#include "transfers/TransferItem.h"
#include "uikit/KeyViewLoop.h"
#include "uikit/PZAlert.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <algorithm>

namespace ombrelay {

namespace {

// The row's path when something of it is on disk; empty for a halted torrent (its disk is gone).
QString existingPath(const TransferItem* item)
{
    if (item->torrent()->isHalted())
        return {};
    const QString path = item->line()->fullPath();
    return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

}  // namespace

TransferItem* DownloadsOutlineView::selectedRowItem() const
{
    // The row selected last (the current one) among several, as a click or the keys left it.
    const QModelIndex current = selectionModel()->currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent()))
        return static_cast<TransferItem*>(objectAt(current));
    const QList<PZOutlineObject*> selected = selectedObjects();
    return selected.isEmpty() ? nullptr : static_cast<TransferItem*>(selected.last());
}

QString DownloadsOutlineView::selectedPath() const
{
    const TransferItem* item = selectedRowItem();
    return item ? existingPath(item) : QString();
}

QList<const OBLine*> DownloadsOutlineView::selectedPreviewLines() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [this](const QModelIndex& a, const QModelIndex& b) { return visualRect(a).top() < visualRect(b).top(); });
    QList<const OBLine*> lines;
    for (const QModelIndex& row : rows) {
        const auto* item = static_cast<TransferItem*>(objectAt(row));
        if (!existingPath(item).isEmpty())
            lines.append(item->line());
    }
    return lines;
}

void DownloadsOutlineView::removeDownloads(const TorrentLineList& list)
{
    if (list.isEmpty())
        return;
    bool ask = false;
    if (Settings::instance().boolean(QStringLiteral("kKoWarnDownloads"))) {
        for (const TorrentLinePtr& torrent : list)
            ask = ask || (!torrent->hasCompleteData() &&
                          (torrent->amountDownloaded().value() != 0 || torrent->downloadRate() > 0));
    }
    if (!ask) {
        removeTorrents(list);
        return;
    }
    QPointer<DownloadsOutlineView> self(this);
    PZAlert::run(PZAlert::removal(int(list.size())), window(), [self, list](int button) {
        if (!self || button != 0)
            return;
        // The list may have changed while the alert was up: act only on torrents still listed.
        TorrentLineList still;
        for (const TorrentLinePtr& torrent : list)
            if (self->itemFor(torrent.get()))
                still.append(torrent);
        self->removeTorrents(still);
    });
}

void DownloadsOutlineView::removeSelected()
{
    removeDownloads(selectedTorrents());
}

void DownloadsOutlineView::clearAllComplete()
{
    QPointer<DownloadsOutlineView> self(this);
    PZAlert::run(PZAlert::clearComplete(), window(), [self](int button) {
        if (!self || button != 0)
            return;
        TorrentLineList complete;
        for (const TorrentLinePtr& torrent : self->torrents())
            if (torrent->isComplete())
                complete.append(torrent);
        self->removeTorrents(complete);
    });
}

void DownloadsOutlineView::openSelectedWithApplication(const QString& desktopFile)
{
    const QString path = selectedPath();
    if (path.isEmpty()) {
        QApplication::beep();
        return;
    }
    openPath(path, desktopFile, selectedRowItem()->line()->isComplete());
}

void DownloadsOutlineView::openPath(const QString& path, const QString& desktopFile, bool complete)
{
    const auto open = [path, desktopFile] {
        if (desktopFile.isEmpty())
            DesktopFiles::openPath(path);
        else
            DesktopFiles::openPathWithApplication(path, desktopFile);
    };
    if (DesktopFiles::isExecutableContent(path)) {
        PZAlert alert = PZAlert::executableFile(QFileInfo(path).fileName());
        alert.defaultButton = 0;
        PZAlert::run(alert, window(), [path, open](int button) {
            if (button == 0)
                DesktopFiles::reveal(path);
            else if (button == 1)
                open();
        });
        return;
    }
    if (!complete && !QFileInfo(path).isDir()) {
        PZAlert::run(PZAlert::incompleteFile(), window(), [path, open](int button) {
            if (button == 0)
                open();
            else if (button == 1)
                DesktopFiles::reveal(path);
        });
        return;
    }
    open();
}

void DownloadsOutlineView::revealSelected()
{
    const QString path = selectedPath();
    if (path.isEmpty())
        QApplication::beep();
    else
        DesktopFiles::reveal(path);
}

void DownloadsOutlineView::toggleQuickLook()
{
    ++m_previewLook;  // a look still copying is called off
    if (m_preview && m_preview->isVisible()) {
        m_preview->close();
        return;
    }
    if (selectedPreviewLines().isEmpty()) {
        QApplication::beep();
        return;
    }
    showPreview(true);
}

void DownloadsOutlineView::followSelectionInPreview()
{
    if (m_preview && m_preview->isVisible())
        showPreview(false);
}

void DownloadsOutlineView::showPreview(bool bringUp)
{
    struct Item
    {
        QUrl shown;
        QString copyOf;
    };
    QList<Item> items;
    bool copies = false;
    for (const OBLine* line : selectedPreviewLines()) {
        const QUrl shown = line->previewItemURL();
        if (shown.isEmpty())
            continue;
        items.append({shown, line->previewCopySource()});
        copies = copies || !items.last().copyOf.isEmpty();
    }
    const auto paths = [items] {
        QStringList made;
        for (const Item& item : items)
            if (item.copyOf.isEmpty() || OBLine::makePreviewCopy(item.copyOf, item.shown))
                made.append(item.shown.toLocalFile());
        return made;
    };
    const quint64 look = ++m_previewLook;
    if (!copies)
        return presentPreview(paths(), bringUp);
    // A copy reads a whole file: made on the pool, shown when every copy is there.
    const QPointer<DownloadsOutlineView> self(this);
    QThreadPool::globalInstance()->start([self, look, paths, bringUp] {
        const QStringList made = paths();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, look, made, bringUp] {
            if (self && self->m_previewLook == look)
                self->presentPreview(made, bringUp);
        }, Qt::QueuedConnection);
    });
}

void DownloadsOutlineView::presentPreview(const QStringList& paths, bool bringUp)
{
    if (!bringUp) {
        if (m_preview && m_preview->isVisible())
            m_preview->setPaths(paths);
        return;
    }
    if (!m_preview)
        m_preview = new PreviewWindow(window());
    m_preview->showPaths(paths);
}

void DownloadsOutlineView::activateRow(const QModelIndex& index, bool openInstead)
{
    auto* item = static_cast<TransferItem*>(objectAt(index));
    if (!item)
        return;
    if (item->outlineChildCount() > 0 && !openInstead) {
        setExpanded(index.siblingAtColumn(0), !isExpanded(index.siblingAtColumn(0)));
    } else if (item->fileLine() && !item->fileLine()->shouldDownload()) {
        item->setCheckboxState(0);
        viewport()->update();
    } else {
        openSelected();
    }
}

void DownloadsOutlineView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        PZOutlineView::mouseDoubleClickEvent(event);
        return;
    }
    activateRow(index, event->modifiers() & Qt::AltModifier);
}

bool DownloadsOutlineView::focusNextPrevChild(bool next)
{
    QWidget* target = next ? KeyViewLoop::searchField() : KeyViewLoop::statsRow();
    return KeyViewLoop::moveFocus(target, next) || PZOutlineView::focusNextPrevChild(next);
}

void DownloadsOutlineView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        toggleQuickLook();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (!selectedTorrents().isEmpty()) {
            removeSelected();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!selectedObjects().isEmpty()) {
            openSelected();
            return;
        }
        break;
    default:
        break;
    }
    PZOutlineView::keyPressEvent(event);
}

}  // namespace ombrelay
