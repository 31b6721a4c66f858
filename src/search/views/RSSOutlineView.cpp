#include "search/views/RSSOutlineView.h"

#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "search/feeds/RSSLine.h"
#include "search/views/CurrentRSSOutlineView.h"
#include "search/views/RSSIsNewCell.h"
#include "search/views/RSSPaneDateCell.h"
#include "search/views/ResultItem.h"
#include "uikit/PZRoundTabView.h"

#include <algorithm>

namespace ombrelay {

namespace {

class IsNewPredicate final : public PZPredicate
{
public:
    bool evaluate(const PZOutlineObject& object) const override
    {
        const OBLine* line = static_cast<const ResultItem&>(object).line();
        return line && line->isNew();
    }
};

}  // namespace

RSSOutlineView::RSSOutlineView(QWidget* parent) : QueryOutlineView(parent)
{
    addColumn(QStringLiteral("RSSPaneDateCell"), tr("Date"), 90, std::make_unique<RSSPaneDateCell>(),
              PZSortDescriptor{QStringLiteral("date"), false, QStringLiteral("compare:")});
    addColumn(QStringLiteral("RSSIsNewCell"), QString(), 20, std::make_unique<RSSIsNewCell>());
    listenForNotification(this, QStringLiteral("RSSLineReadStatusUpdated"), [this](const Notification& n) {
        auto* line = qobject_cast<TorrentLine*>(n.object);
        if (line && hasObject(line))
            statusChanged();
    });
    listenForNotification(this, QStringLiteral("TorrentLineStructureUpdated"), [this](const Notification& n) {
        structureUpdated(qobject_cast<TorrentLine*>(n.object));
    });
}

RSSOutlineView::~RSSOutlineView()
{
    stopListening(this);
}

void RSSOutlineView::initTabView()
{
    QueryOutlineView::initTabView();
    roundTabView()->addRoundButtonWithTitle(tr("Links"));
}

PZPredicateRef RSSOutlineView::filterPredicate() const
{
    const PZPredicateRef text = QueryOutlineView::filterPredicate();
    if (!m_showsOnlyNew)
        return text;
    const PZPredicateRef fresh = PZPredicate::instance<IsNewPredicate>();
    return text == PZPredicate::yes() ? fresh : PZPredicate::both(text, fresh);
}

void RSSOutlineView::setShowsOnlyNew(bool only)
{
    if (only == m_showsOnlyNew)
        return;
    m_showsOnlyNew = only;
    rebuildFilterPredicate();
}

void RSSOutlineView::setFeedLines(const TorrentLineList& lines)
{
    setLines(lines);
    statusChanged();
}

QList<TorrentLine*> RSSOutlineView::linesNewestFirst() const
{
    QList<TorrentLine*> lines;
    for (PZOutlineObject* object : objects())
        lines.append(static_cast<ResultItem*>(object)->torrentLine());
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TorrentLine* a, const TorrentLine* b) { return a->date() > b->date(); });
    return lines;
}

void RSSOutlineView::scrapeLines()
{
    for (TorrentLine* line : linesNewestFirst()) {
        if (auto* entry = qobject_cast<RSSLine*>(line))
            entry->loadTorrentEnclosure();
        line->scrapeTracker();
    }
}

bool RSSOutlineView::hasNewItems() const
{
    return std::any_of(objects().begin(), objects().end(), [](PZOutlineObject* object) {
        return static_cast<ResultItem*>(object)->line()->isNew();
    });
}

int RSSOutlineView::numberOfNewItems() const
{
    return int(std::count_if(objects().begin(), objects().end(), [](PZOutlineObject* object) {
        return static_cast<ResultItem*>(object)->line()->isNew();
    }));
}

void RSSOutlineView::markAllRead()
{
    for (PZOutlineObject* object : objects())
        if (RSSLine* line = static_cast<ResultItem*>(object)->rssLine())
            line->markAsRead();
    rearrangeObjects();
    statusChanged();
}

void RSSOutlineView::statusChanged()
{
    postNotificationAboutSelf(this, QStringLiteral("RSSOutlineViewStatusChanged"));
    viewport()->update();
    emit countsChanged();
}

void RSSOutlineView::structureUpdated(TorrentLine* line)
{
    if (!line || !hasObject(line))
        return;
    m_structureUpdates.append(line);
    PerformLater::scheduleOnce(this, [this] { applyStructureUpdates(); }, 0, QStringLiteral("structure"));
}

// Once a pass, however many lines changed: their rows get their files, then one re-sort and one count of
// the tabs (a line may belong to another tab now).
void RSSOutlineView::applyStructureUpdates()
{
    const QList<QPointer<TorrentLine>> lines = std::exchange(m_structureUpdates, {});
    for (const QPointer<TorrentLine>& line : lines) {
        ResultItem* item = line ? itemForLine(line) : nullptr;
        if (!item)
            continue;
        reloadChildren(item);
        if (isVisible())
            line->scrapeTracker();
    }
    rearrangeObjects();
    rebuildTabView();
}

void RSSOutlineView::showEvent(QShowEvent* event)
{
    CurrentRSSOutlineView::setCurrent(this);
    QueryOutlineView::showEvent(event);
}

void RSSOutlineView::hideEvent(QHideEvent* event)
{
    QueryOutlineView::hideEvent(event);
    PerformLater::schedule(this, [this] {
        if (!isVisible())
            CurrentRSSOutlineView::clearIfCurrent(this);
    });
}

}  // namespace ombrelay
