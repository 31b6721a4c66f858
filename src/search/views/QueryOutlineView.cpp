#include "search/views/QueryOutlineView.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/NotificationCenter.h"
#include "kit/OBDefaults.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"
#include "search/QueryController.h"
#include "search/SearchSiteScraper.h"
#include "search/icons/AddressTrimmer.h"
#include "search/views/QueryPaneDownloadCell.h"
#include "search/views/QueryPaneFileCell.h"
#include "search/views/QueryPaneInfoCell.h"
#include "search/views/QueryPaneSizeCell.h"
#include "search/views/ResultItem.h"
#include "search/views/ScraperItem.h"
#include "search/views/SearchSiteScraperCell.h"
#include "uikit/PZOutlineProxyModel.h"
#include "uikit/PZRoundTabButton.h"
#include "uikit/PZRoundTabView.h"

#include <QHeaderView>
#include <QTimer>

namespace ombrelay {

QueryOutlineView::QueryOutlineView(QWidget* parent) : PZOutlineView(parent), m_animationTimer(new QTimer(this))
{
    addColumn(QStringLiteral("QueryPaneFileCell"), tr("Name"), 320, std::make_unique<QueryPaneFileCell>(),
              PZSortDescriptor{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")});
    addColumn(QStringLiteral("QueryPaneSizeCell"), tr("Size"), 70, std::make_unique<QueryPaneSizeCell>(),
              PZSortDescriptor{QStringLiteral("length"), false, QStringLiteral("compare:")});
    addColumn(QStringLiteral("QueryPaneInfoCell"), tr("Swarm"), 150, std::make_unique<QueryPaneInfoCell>(),
              PZSortDescriptor{QStringLiteral("swarmSize"), false, QStringLiteral("compare:")});
    addColumn(QStringLiteral("QueryPaneDownloadCell"), tr("Download"), 100, std::make_unique<QueryPaneDownloadCell>());
    header()->setFirstSectionMovable(false);  // the name column stays first

    connect(m_animationTimer, &QTimer::timeout, this, &QueryOutlineView::animationTimer);
    listenForNotification(this, QStringLiteral("TorrentLineStatusUpdated"), [this](const Notification& n) {
        auto* line = qobject_cast<TorrentLine*>(n.object);
        if (line && hasObject(line)) {
            rearrangeLater();
            redrawRowsOf(line);
        }
    });
    listenForNotification(this, QStringLiteral("TorrentLineSwarmSizeUpdated"), [this](const Notification& n) {
        swarmSizeUpdated(qobject_cast<TorrentLine*>(n.object));
    });
    listenForNotification(this, QStringLiteral("CoreOneSecondTimer"), [this](const Notification&) { oneSecondTimer(); });
    // Site icons that arrive show in the group rows.
    listenForNotification(this, QStringLiteral("PZFaviconLoaderDidLoad"), [this](const Notification&) {
        if (m_grouped)
            viewport()->update();
    });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) { groupExpansionChanged(index, true); });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) { groupExpansionChanged(index, false); });
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("kQueryViewMode")) {
            OBDefaults::loadDefaults();  // the cache may hear of the change after this view
            doItemsLayout();
        }
    });
}

QueryOutlineView::~QueryOutlineView()
{
    stopListening(this);
    setObjects({});
    qDeleteAll(m_items);
    qDeleteAll(m_groups);
}

QueryController* QueryOutlineView::queryController() const
{
    return m_queryController;
}

void QueryOutlineView::setQueryController(QueryController* controller)
{
    if (m_queryController)
        disconnect(m_queryController, nullptr, this, nullptr);
    m_queryController = controller;
    if (!controller)
        return;
    const auto reload = [this] {
        PerformLater::scheduleOnce(this, [this] { reloadFromController(); }, 0, QStringLiteral("reloadLines"));
    };
    connect(controller, &QueryController::lineAdded, this, reload);
    connect(controller, &QueryController::scrapersChanged, this, reload);
    // A change of grouping rebuilds the list at once.
    connect(controller, &QueryController::clusteringModeChanged, this, &QueryOutlineView::reloadFromController);
    connect(controller, &QueryController::highlightChanged, this, [this] { viewport()->update(); });
    setQueryTerms(controller->queryTerms());
    reloadFromController();
    controller->setScrapesTrackers(isVisible());
}

void QueryOutlineView::reloadFromController()
{
    if (!m_queryController)
        return;
    if (m_queryController->clusteringMode() == 1)
        setScrapers(m_queryController->scrapers());
    else
        setLines(m_queryController->lines());
}

QList<ResultItem*> QueryOutlineView::takeItems(const TorrentLineList& lines, QHash<const TorrentLine*, ResultItem*>& kept)
{
    QList<ResultItem*> items;
    for (const TorrentLinePtr& line : lines) {
        if (!line || kept.contains(line.get()))
            continue;
        ResultItem* item = m_items.take(line.get());
        if (!item)
            item = new ResultItem(line);
        kept.insert(line.get(), item);
        items.append(item);
    }
    return items;
}

void QueryOutlineView::setLines(const TorrentLineList& lines)
{
    QHash<const TorrentLine*, ResultItem*> kept;
    const QList<ResultItem*> items = takeItems(lines, kept);
    const QList<ResultItem*> departed = m_items.values();
    const QList<ScraperItem*> groups = std::exchange(m_groups, {});
    m_items = kept;
    if (std::exchange(m_grouped, false))  // the tab's own filter again, on the results
        arrangedModel()->setFilterPredicate(compoundFilterPredicateForTypeIndex(roundTabView() ? roundTabView()->selectedIndex() : 0));
    setObjects({items.cbegin(), items.cend()});
    qDeleteAll(departed);
    qDeleteAll(groups);
    emit countsChanged();
    if (isVisible())
        scrapeLines();
}

void QueryOutlineView::setScrapers(const QList<SearchSiteScraper*>& scrapers)
{
    QHash<const TorrentLine*, ResultItem*> kept;
    QList<ScraperItem*> groups;
    QList<ScraperItem*> previous = m_groups;
    const PZPredicateRef filter = compoundFilterPredicateForTypeIndex(roundTabView() ? roundTabView()->selectedIndex() : 0);
    for (SearchSiteScraper* scraper : scrapers) {
        if (!scraper)
            continue;
        ScraperItem* group = nullptr;
        for (ScraperItem* candidate : std::as_const(previous))
            if (candidate->scraper() == scraper)
                group = candidate;
        if (group)
            previous.removeOne(group);
        else
            group = new ScraperItem(scraper);
        group->setItems(takeItems(scraper->lines(), kept));
        group->arrange(filter);
        groups.append(group);
    }
    const QList<ResultItem*> departed = m_items.values();
    m_items = kept;
    m_groups = groups;
    m_grouped = true;
    const PZPredicateRef hasResults = PZPredicate::instance<HasObjectsPredicate>();
    if (arrangedModel()->filterPredicate() != hasResults)
        arrangedModel()->setFilterPredicate(hasResults);
    setObjects({groups.cbegin(), groups.cend()});
    expandScrapers();
    qDeleteAll(departed);
    qDeleteAll(previous);
    emit countsChanged();
    if (isVisible())
        scrapeLines();
}

void QueryOutlineView::expandScrapers()
{
    for (ScraperItem* group : std::as_const(m_groups)) {
        const QModelIndex index = indexForObject(group);
        if (index.isValid() && group->scraper() && group->scraper()->isExpanded() && !isExpanded(index))
            expand(index);
    }
}

void QueryOutlineView::groupExpansionChanged(const QModelIndex& index, bool expanded)
{
    auto* group = dynamic_cast<ScraperItem*>(objectAt(index));
    if (group && group->scraper())
        group->scraper()->setIsExpanded(expanded);
}

QList<ResultItem*> QueryOutlineView::resultItems() const
{
    QList<ResultItem*> items;
    if (m_grouped) {
        for (const ScraperItem* group : m_groups)
            items += group->items();
        return items;
    }
    for (PZOutlineObject* object : objects())
        items.append(static_cast<ResultItem*>(object));
    return items;
}

TorrentLineList QueryOutlineView::lines() const
{
    TorrentLineList list;
    for (const ResultItem* item : resultItems())
        list.append(item->torrentPtr());
    return list;
}

int QueryOutlineView::rowForLine(const TorrentLine* line) const
{
    const QModelIndex index = indexForObject(itemForLine(line));
    return index.isValid() ? visualRect(index).isValid() ? index.row() : -1 : -1;
}

void QueryOutlineView::bindSortOrder(const QString& key, const PZSortDescriptor& fallback)
{
    const bool stored = Settings::instance().value(key).isValid();
    bindSortDescriptorsToSetting(key);
    if (!stored)
        setSortDescriptors({fallback});
}

void QueryOutlineView::initTabView()
{
    roundTabView()->addRoundButtonWithTitle(tr("All"));
    roundTabView()->addRoundButtonWithTitle(tr("Audio"));
    roundTabView()->addRoundButtonWithTitle(tr("Video"));
    roundTabView()->addRoundButtonWithTitle(tr("Documents"));
    roundTabView()->buttonAt(0)->setHideCount(true);
}

PZPredicateRef QueryOutlineView::predicateForTypeIndex(int index) const
{
    switch (index) {
    case 1: return PZPredicate::instance<HasAudioPredicate>();
    case 2: return PZPredicate::instance<HasVideoPredicate>();
    case 3: return PZPredicate::instance<HasDocumentPredicate>();
    case 4: return PZPredicate::instance<IsRSSArticlePredicate>();
    default: return PZPredicate::yes();
    }
}

int QueryOutlineView::heightOfRow(const PZOutlineObject& object, int) const
{
    if (isGroupItem(object))
        return 32;
    const auto* item = dynamic_cast<const ResultItem*>(&object);
    if (item && item->torrentLine() && !item->isRSSArticleLine() && OBDefaults::kQueryViewMode() == 1)
        return 41;
    return 17;
}

bool QueryOutlineView::isGroupItem(const PZOutlineObject& object) const
{
    return dynamic_cast<const ScraperItem*>(&object) != nullptr;
}

PZTrackingCell* QueryOutlineView::cellFor(int column, const PZOutlineObject* object) const
{
    if (object && isGroupItem(*object))
        return &SearchSiteScraperCell::instance();
    return PZOutlineView::cellFor(column, object);
}

void QueryOutlineView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (const PZOutlineObject* object = objectAt(index); object && isGroupItem(*object))
        SearchSiteScraperCell::drawBackground(*painter, QRect(0, option.rect.y(), viewport()->width(), option.rect.height()));
    PZOutlineView::drawRow(painter, option, index);
}

// Grouped, the tab and the filter field choose each site's children; a site shows while it has any.
void QueryOutlineView::rebuildFilterPredicate()
{
    if (!m_grouped) {
        PZOutlineView::rebuildFilterPredicate();
        emit countsChanged();
        return;
    }
    const PZPredicateRef filter = compoundFilterPredicateForTypeIndex(roundTabView() ? roundTabView()->selectedIndex() : 0);
    for (ScraperItem* group : std::as_const(m_groups))
        group->arrange(filter);
    setObjects({m_groups.cbegin(), m_groups.cend()});
    expandScrapers();
    viewport()->update();
    emit validateToolbar();
    emit countsChanged();
}

int QueryOutlineView::countForPredicate(const PZPredicateRef& predicate) const
{
    if (!m_grouped)
        return PZOutlineView::countForPredicate(predicate);
    int count = 0;
    for (const ScraperItem* group : m_groups)
        count += group->countForPredicate(predicate);
    return count;
}

void QueryOutlineView::scrapeLines()
{
    for (ResultItem* item : resultItems())
        if (TorrentLine* line = item->torrentLine())
            line->scrapeTracker();
}

void QueryOutlineView::rearrangeLater()
{
    PerformLater::scheduleOnce(this, [this] { rearrangeObjects(); }, 0, QStringLiteral("rearrange"));
}

void QueryOutlineView::swarmSizeUpdated(TorrentLine* line)
{
    if (!line || !hasObject(line))
        return;
    const PZSortDescriptors& sort = sortDescriptors();
    if (!sort.isEmpty() && sort.first().key == QLatin1String("swarmSize")) {
        rearrangeLater();
        return;
    }
    const QModelIndex index = indexForObject(itemForLine(line), columnOf(QStringLiteral("QueryPaneInfoCell")));
    if (index.isValid())
        viewport()->update(visualRect(index));
}

int QueryOutlineView::columnOf(const QString& identifier) const
{
    for (int column = 0; column < outlineColumnCount(); ++column)
        if (outlineColumn(column)->identifier == identifier)
            return column;
    return -1;
}

void QueryOutlineView::redrawDownloadCells(bool initialisingOnly)
{
    const int column = columnOf(QStringLiteral("QueryPaneDownloadCell"));
    const QRect visible = viewport()->rect();
    for (QModelIndex index = indexAt(visible.topLeft()); index.isValid(); index = indexBelow(index)) {
        const QRect row = visualRect(index.siblingAtColumn(column));
        if (row.top() > visible.bottom())
            break;
        auto* item = dynamic_cast<ResultItem*>(objectAt(index));
        TorrentLine* line = item ? item->torrentLine() : nullptr;
        if (line && line->isDownloading() && (!initialisingOnly || line->isInitializing()))
            viewport()->update(row);
    }
}

// The line's row and the visible rows below it that descend from it (its files, once started).
void QueryOutlineView::redrawRowsOf(const TorrentLine* line)
{
    const QModelIndex top = indexForObject(itemForLine(line));
    if (!top.isValid())
        return;
    const QRect visible = viewport()->rect();
    const auto descends = [&top](QModelIndex index) {
        for (; index.isValid(); index = index.parent())
            if (index == top)
                return true;
        return false;
    };
    for (QModelIndex index = top; index.isValid() && descends(index); index = indexBelow(index)) {
        const QRect row = visualRect(index);
        if (row.top() > visible.bottom())
            break;
        viewport()->update(QRect(visible.left(), row.top(), visible.width(), row.height()));
    }
}

void QueryOutlineView::oneSecondTimer()
{
    if (isVisible())
        redrawDownloadCells(false);
}

void QueryOutlineView::animationTimer()
{
    if (!isVisible()) {
        m_animationTimer->stop();
        return;
    }
    redrawDownloadCells(true);
    setAnimationOffset((animationOffset() + 1) % 8);
}

void QueryOutlineView::showEvent(QShowEvent* event)
{
    PZOutlineView::showEvent(event);
    m_animationTimer->start(50);
    if (m_queryController)
        m_queryController->setScrapesTrackers(true);
    scrapeLines();
    emit shown();
}

void QueryOutlineView::hideEvent(QHideEvent* event)
{
    m_animationTimer->stop();
    if (m_queryController)
        m_queryController->setScrapesTrackers(false);
    PZOutlineView::hideEvent(event);
}

void QueryOutlineView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        viewport()->update();
    PZOutlineView::changeEvent(event);
}

}  // namespace ombrelay
