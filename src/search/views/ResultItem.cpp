#include "search/views/ResultItem.h"

#include "engine/torrent/FileLine.h"
#include "search/feeds/RSSLine.h"

#include <vector>

namespace ombrelay {

std::unique_ptr<LineItem> ResultItem::makeChild(OBLine* line)
{
    return std::make_unique<ResultItem>(line, this);
}

RSSLine* ResultItem::rssLine() const
{
    return dynamic_cast<RSSLine*>(torrentLine());
}

OBLine* ResultItem::shownLine() const
{
    if (!fileLine())
        return line();
    TorrentLine* own = torrent();
    const TorrentLinePtr live = own ? own->btDownload() : nullptr;
    if (!live || live.get() == own)
        return line();
    // Same metainfo, same tree: follow this row's child positions down the live torrent.
    std::vector<int> positions;
    for (const LineItem* item = this; item->parent(); item = item->parent()) {
        const auto& siblings = item->parent()->line()->children();
        int position = 0;
        while (position < int(siblings.size()) && siblings[size_t(position)].get() != item->line())
            ++position;
        positions.push_back(position);
    }
    OBLine* counterpart = live.get();
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
        if (*it >= int(counterpart->children().size()))
            return line();
        counterpart = counterpart->children()[size_t(*it)].get();
    }
    return counterpart;
}

QVariant ResultItem::outlineValue(const QString& key) const
{
    if (key == QLatin1String("swarmSize"))
        return torrentLine() ? QVariant::fromValue(torrentLine()->swarmSize()) : QVariant();
    if (key == QLatin1String("date"))
        return torrentLine() ? QVariant(torrentLine()->date()) : QVariant();
    return LineItem::outlineValue(key);
}

bool ResultItem::hasAudio() const
{
    return torrentLine() && !isRSSArticleLine() && torrentLine()->hasAudio();
}

bool ResultItem::hasVideo() const
{
    return torrentLine() && !isRSSArticleLine() && torrentLine()->hasVideo();
}

bool ResultItem::isRSSArticleLine() const
{
    return line()->isRSSArticleLine();
}

bool ResultItem::isComplete() const
{
    return shownLine()->isComplete();
}

int ResultItem::checkboxState() const
{
    return fileLine() ? shownLine()->checkboxState() : -1;
}

bool ResultItem::checkboxIsEnabled() const
{
    return fileLine() && static_cast<FileLine*>(shownLine())->checkboxIsEnabled();
}

void ResultItem::setCheckboxState(int state)
{
    if (fileLine())
        shownLine()->setCheckboxState(state);
}

}  // namespace ombrelay
