#include "transfers/DownloadsOutlineView.h"

#include "engine/core/DownloadQueue.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/Settings.h"
#include "transfers/DownloadProgressCell.h"
#include "transfers/DownloadsPaneFileCell.h"
#include "transfers/DownloadsPaneTimeRemainingCell.h"
#include "transfers/DownloadsPaneTransferCell.h"
#include "transfers/PreviewWindow.h"
#include "transfers/TransferItem.h"
#include "uikit/PZRoundTabButton.h"
#include "uikit/PZRoundTabView.h"

#include <QTimer>

namespace ombrelay {

DownloadsOutlineView::DownloadsOutlineView(QWidget* parent)
    : PZOutlineView(parent), m_animationTimer(new QTimer(this))
{
    addColumn(QStringLiteral("DownloadsPaneFileCell"), tr("Name"), 320, std::make_unique<DownloadsPaneFileCell>(),
              PZSortDescriptor{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")});
    addColumn(QStringLiteral("DownloadProgressCell"), tr("Progress"), 220, std::make_unique<DownloadProgressCell>(),
              PZSortDescriptor{QStringLiteral("progress"), false, QStringLiteral("compare:")});
    addColumn(QStringLiteral("DownloadsPaneTransferCell"), tr("Rate"), 110,
              std::make_unique<DownloadsPaneTransferCell>(),
              PZSortDescriptor{QStringLiteral("transfer"), false, QStringLiteral("compare:")});
    addColumn(QStringLiteral("DownloadsPaneTimeRemainingCell"), tr("Time"), 100,
              std::make_unique<DownloadsPaneTimeRemainingCell>(),
              PZSortDescriptor{QStringLiteral("timeRemaining"), true, QStringLiteral("compare:")});

    connect(&Settings::instance(), &Settings::changed, this, &DownloadsOutlineView::settingChanged);
    connect(m_animationTimer, &QTimer::timeout, this, &DownloadsOutlineView::animationTimer);
    connect(this, &PZOutlineView::selectionDidChange, this, &DownloadsOutlineView::followSelectionInPreview);
    m_animationTimer->setInterval(50);
}

DownloadsOutlineView::~DownloadsOutlineView()
{
    setObjects({});
    qDeleteAll(m_items);
}

void DownloadsOutlineView::initTabView()
{
    roundTabView()->addRoundButtonWithTitle(tr("All"));
    roundTabView()->addRoundButtonWithTitle(tr("Active"));
    roundTabView()->addRoundButtonWithTitle(tr("Inactive"));
    roundTabView()->addRoundButtonWithTitle(tr("Complete"));
    roundTabView()->buttonAt(0)->setHideCount(true);
}

PZPredicateRef DownloadsOutlineView::predicateForTypeIndex(int index) const
{
    switch (index) {
    case 1:
        return PZPredicate::instance<IsActivePredicate>();
    case 2:
        return PZPredicate::instance<IsInactivePredicate>();
    case 3:
        return PZPredicate::instance<IsCompletePredicate>();
    default:
        return PZPredicate::yes();
    }
}

int DownloadsOutlineView::heightOfRow(const PZOutlineObject&, int level) const
{
    return level == 0 ? 41 : 17;
}

TransferItem* DownloadsOutlineView::itemFor(const TorrentLine* torrent) const
{
    return m_items.value(torrent);
}

void DownloadsOutlineView::addTorrent(const TorrentLinePtr& torrent)
{
    addTorrents({torrent});
}

void DownloadsOutlineView::addTorrents(const TorrentLineList& torrents)
{
    QList<PZOutlineObject*> added;
    for (const TorrentLinePtr& torrent : torrents) {
        if (!torrent || m_items.contains(torrent.get()))
            continue;
        auto* item = new TransferItem(torrent);
        m_items.insert(torrent.get(), item);
        m_infoHashMap.insert(torrent->infoHash(), item);
        m_torrents.append(torrent);
        added.append(item);
    }
    if (added.isEmpty())
        return;
    saveExpandedObjects();
    addObjects(added);
}

void DownloadsOutlineView::removeTorrents(const TorrentLineList& torrents)
{
    QList<PZOutlineObject*> removed;
    QSet<const TransferItem*> removedItems;
    for (const TorrentLinePtr& torrent : torrents) {
        TransferItem* item = torrent ? m_items.value(torrent.get()) : nullptr;
        if (!item || removedItems.contains(item))
            continue;
        torrent->willRemoveFromTable();
        removedItems.insert(item);
        removed.append(item);
    }
    if (removed.isEmpty())
        return;
    // One pass however many go: removing thousands at once stays linear.
    for (auto it = m_infoHashMap.begin(); it != m_infoHashMap.end();)
        it = removedItems.contains(it.value()) ? m_infoHashMap.erase(it) : std::next(it);
    removeObjects(removed);
    QSet<const TorrentLine*> gone;
    for (PZOutlineObject* object : removed) {
        auto* item = static_cast<TransferItem*>(object);
        gone.insert(item->torrent());
        m_items.remove(item->torrent());
        delete item;
    }
    m_torrents.removeIf([&gone](const TorrentLinePtr& torrent) { return gone.contains(torrent.get()); });
    emit torrentsRemoved();
    updateQueueState();
}

TorrentLinePtr DownloadsOutlineView::torrentForInfoHash(const QByteArray& infoHash) const
{
    TransferItem* item = m_infoHashMap.value(infoHash);
    return item ? item->torrentPtr() : nullptr;
}

int DownloadsOutlineView::numberOfDownloadingTorrents() const
{
    return DownloadQueue::numberOfDownloadingTorrents(torrents());
}

void DownloadsOutlineView::updateQueueState()
{
    DownloadQueue::updateQueueState(torrents());
}

void DownloadsOutlineView::settingChanged(const QString& key)
{
    if (key == QLatin1String("kDownloadQueueEnabled")) {
        if (!Settings::instance().boolean(key)) {
            for (const TorrentLinePtr& torrent : torrents())
                if (torrent->isWaiting())
                    torrent->retryDownload();
        }
    } else if (key == QLatin1String("kDownloadQueueLimit")) {
        updateQueueState();
    } else if (key == QLatin1String("kDisplayPercentages") || key == QLatin1String("kSeedingEnabled")
               || key == QLatin1String("kStopSeedingAtRatio") || key == QLatin1String("kStopSeedingRatio")) {
        viewport()->update();  // amounts as percentages; complete rows read "Sharing" or "Complete"
    }
}

void DownloadsOutlineView::showEvent(QShowEvent* event)
{
    PZOutlineView::showEvent(event);
    m_animationTimer->start();
}

void DownloadsOutlineView::hideEvent(QHideEvent* event)
{
    PZOutlineView::hideEvent(event);
    m_animationTimer->stop();
}

void DownloadsOutlineView::animationTimer()
{
    if (!isVisible())
        return;
    // Only the rows on screen: a long list costs no more than a short one.
    const QRect visible = viewport()->rect();
    for (QModelIndex row = indexAt(visible.topLeft()); row.isValid() && visualRect(row).top() < visible.bottom();
         row = indexBelow(row)) {
        const auto* item = row.parent().isValid() ? nullptr : dynamic_cast<TransferItem*>(objectAt(row));
        const TorrentLine* torrent = item ? item->torrent() : nullptr;
        if (!torrent || !torrent->isDownloading() || !torrent->isInitializing())
            continue;
        viewport()->update(DownloadProgressCell::progressRectInCell(visualRect(row.siblingAtColumn(ProgressColumn))));
    }
    setAnimationOffset((animationOffset() + 1) % 8);
}

TorrentLineList DownloadsOutlineView::selectedTorrents() const
{
    TorrentLineList list;
    for (PZOutlineObject* object : selectedObjects()) {
        auto* item = static_cast<TransferItem*>(object);
        if (item->torrentLine())
            list.append(item->torrentPtr());
    }
    return list;
}

TorrentLinePtr DownloadsOutlineView::selectedTorrent() const
{
    const QList<PZOutlineObject*> selected = selectedObjects();
    return selected.isEmpty() ? nullptr : static_cast<TransferItem*>(selected.first())->torrentPtr();
}

}  // namespace ombrelay
