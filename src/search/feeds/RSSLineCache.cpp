#include "search/feeds/RSSLineCache.h"

#include "search/feeds/RSSLine.h"

namespace ombrelay {

RSSLineCache& RSSLineCache::instance()
{
    static auto& cache = *new RSSLineCache;  // lines live as long as the process
    return cache;
}

std::shared_ptr<RSSLine> RSSLineCache::lineForItem(const FeedItemPtr& item)
{
    dropLinesOfDepartedItems();
    std::shared_ptr<RSSLine>& line = m_lines[item.get()];
    if (!line)
        line = std::make_shared<RSSLine>(item);
    return line;
}

void RSSLineCache::dropLinesOfDepartedItems()
{
    const quint64 departures = FeedItem::departures();
    if (departures == m_departuresSeen)
        return;
    m_departuresSeen = departures;
    m_lines.removeIf([](const auto& entry) { return !entry.value()->item()->isInFeed(); });
}

}  // namespace ombrelay
