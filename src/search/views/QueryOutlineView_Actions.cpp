#include "search/views/QueryOutlineView.h"

#include "engine/core/TorrentLifecycle.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"
#include "search/icons/AddressTrimmer.h"
#include "search/views/ResultItem.h"
#include "uikit/KeyViewLoop.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QSet>

namespace ombrelay {

namespace {

constexpr int kMaxShortAnswer = 2048;

void appendOnce(TorrentLineList& list, const TorrentLinePtr& line)
{
    if (line && !list.contains(line))
        list.append(line);
}

}  // namespace

// File rows of torrents not yet in the transfers list leave exactly the chosen files wanted: the chosen
// ones are wanted first, then the rest skipped (the engine never skips a torrent's last wanted file). A
// file row of a running torrent is wanted at once; a torrent row alone keeps its files as they are.
TorrentLineList QueryOutlineView::downloadSelection(const QList<PZOutlineObject*>& selected)
{
    TorrentLineList torrents;
    QHash<TorrentLine*, QSet<const OBLine*>> chosen;
    for (PZOutlineObject* object : selected) {
        auto* item = dynamic_cast<ResultItem*>(object);
        if (!item || item->isRSSArticleLine() || !item->torrent())
            continue;
        if (FileLine* file = item->fileLine()) {
            if (item->torrent()->isDownloading()) {
                item->setCheckboxState(OBLine::Wanted);
                continue;
            }
            appendOnce(torrents, item->torrentPtr());
            for (const OBLine* leaf : file->childrenFlat())
                chosen[item->torrent()].insert(leaf);
        } else {
            appendOnce(torrents, item->torrentPtr());
        }
    }
    for (auto it = chosen.cbegin(); it != chosen.cend(); ++it) {
        const QList<FileLine*>& files = it.key()->files();
        for (FileLine* file : files)
            if (it.value().contains(file))
                file->setCheckboxState(OBLine::Wanted, false);
        for (FileLine* file : files)
            if (!it.value().contains(file))
                file->setCheckboxState(OBLine::Skipped, false);
    }
    return torrents;
}

bool QueryOutlineView::canDownloadSelected() const
{
    for (PZOutlineObject* object : selectedObjects()) {
        auto* item = dynamic_cast<ResultItem*>(object);
        if (!item || item->isRSSArticleLine() || !item->torrent())
            continue;
        if (!item->torrent()->isDownloading())
            return true;
        const auto* file = dynamic_cast<const FileLine*>(item->shownLine());
        if (item->fileLine() && file && !file->shouldDownload())
            return true;
    }
    return false;
}

void QueryOutlineView::downloadSelected()
{
    const TorrentLineList torrents = downloadSelection(selectedObjects());
    if (!torrents.isEmpty())
        TorrentLifecycle::instance().downloadTorrentLines(torrents);
    viewport()->update();
}

ResultItem* QueryOutlineView::selectedItem() const
{
    const QList<PZOutlineObject*> selected = selectedObjects();
    return selected.size() == 1 ? dynamic_cast<ResultItem*>(selected.first()) : nullptr;
}

QMenu* QueryOutlineView::menuForPoint(const QPoint& position)
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        clearSelection();
    else if (!selectionModel()->isRowSelected(index.row(), index.parent()))
        selectObjects({objectAt(index)});
    setFocus();
    auto* menu = new QMenu(this);
    ResultItem* item = selectedItem();
    if (!item)
        return menu;
    TorrentLine* line = item->torrentLine();
    if (line && !line->isDownloading() && !line->isRSSArticleLine()) {
        menu->addAction(tr("Download to..."), this, &QueryOutlineView::downloadTo);
        menu->addSeparator();
    }
    menu->addAction(tr("Search Amazon"), this, &QueryOutlineView::searchShoppingSite);
    if (item->torrent() && !item->torrent()->torrentAddress().isEmpty())
        menu->addAction(tr("Post to Twitter..."), this, &QueryOutlineView::shareByShortMessage);
    return menu;
}

void QueryOutlineView::downloadTo()
{
    ResultItem* item = selectedItem();
    if (item && item->torrentLine())
        TorrentLifecycle::instance().downloadTorrentLines({item->torrentPtr()}, true);
}

QUrl QueryOutlineView::shoppingAddress(const QString& name)
{
    const QString keywords = escapedString(QString(name).replace(QLatin1Char('.'), QLatin1Char(' ')));
    return QUrl::fromEncoded(QByteArray("http://") + service::kShoppingSearchHost + "/gp/search?ie=UTF8&keywords=" +
                             keywords.toLatin1() + "&index=blended");
}

void QueryOutlineView::searchShoppingSite()
{
    if (ResultItem* item = selectedItem())
        QDesktopServices::openUrl(shoppingAddress(item->line()->path()));
}

QUrl QueryOutlineView::statusAddress(const QString& answer)
{
    const QString address = answer.trimmed();
    if (address.isEmpty() || address.size() > kMaxShortAnswer || address.contains(QLatin1Char('\n')) ||
        address.contains(QLatin1Char('\r')))
        return {};
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    const QString status = escapedString(tr("check this out: %1").arg(address));
    return QUrl::fromEncoded(QByteArray("http://") + service::kShortMessageHost + "/home?status=" + status.toLatin1());
}

void QueryOutlineView::shareByShortMessage()
{
    ResultItem* item = selectedItem();
    const QString address = item && item->torrent() ? item->torrent()->torrentAddress() : QString();
    if (address.isEmpty())
        return;
    m_addressTrimmer = std::make_unique<AddressTrimmer>(address);  // replaces (and cancels) an earlier one
    connect(m_addressTrimmer.get(), &AddressTrimmer::trimmed, this, &QueryOutlineView::shareAnswered);
}

void QueryOutlineView::shareAnswered(AddressTrimmer* trimmer)
{
    if (trimmer != m_addressTrimmer.get())
        return;
    const QUrl status = statusAddress(trimmer->trimmedAddress());
    if (!status.isEmpty())
        QDesktopServices::openUrl(status);
}

void QueryOutlineView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        downloadSelected();
        return;
    }
    PZOutlineView::keyPressEvent(event);
}

bool QueryOutlineView::focusNextPrevChild(bool next)
{
    QWidget* target = next ? KeyViewLoop::searchField() : KeyViewLoop::sourceList();
    return KeyViewLoop::moveFocus(target, next) || PZOutlineView::focusNextPrevChild(next);
}

void QueryOutlineView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    PZOutlineObject* object = index.isValid() ? objectAt(index) : nullptr;
    if (!object)
        return;
    if (PZTrackingCell* cell = cellFor(index.column(), object))
        if (cell->shouldTrackMouseAt(position, visualRect(index), object))
            return;  // a double-click on a control is swallowed
    if (object->outlineChildCount() > 0) {
        setExpanded(index.siblingAtColumn(0), !isExpanded(index.siblingAtColumn(0)));
        return;
    }
    auto* item = dynamic_cast<ResultItem*>(object);
    if (item && item->torrentLine())
        item->torrentLine()->performAction();
    else if (auto* file = item ? dynamic_cast<FileLine*>(item->shownLine()) : nullptr)
        file->performAction();
    viewport()->update();
}

void QueryOutlineView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = menuForPoint(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (menu->isEmpty())
        delete menu;
    else
        menu->popup(event->globalPos());
}

}  // namespace ombrelay
