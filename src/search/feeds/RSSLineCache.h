#pragma once

#include "search/feeds/FeedItem.h"

#include <QHash>
#include <memory>

namespace ombrelay {

class RSSLine;

// The process-wide feed lines by item identity: an equal but different item gets a line of its own.
// A line stays while its item is in a feed and goes once the item has left it. Main thread only.
class RSSLineCache
{
public:
    static RSSLineCache& instance();

    std::shared_ptr<RSSLine> lineForItem(const FeedItemPtr& item);
    qsizetype count() const { return m_lines.size(); }

private:
    void dropLinesOfDepartedItems();

    // The line holds its item, so a key's item lives as long as its entry.
    QHash<const FeedItem*, std::shared_ptr<RSSLine>> m_lines;
    quint64 m_departuresSeen = 0;
};

}  // namespace ombrelay
