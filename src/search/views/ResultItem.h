#pragma once

#include "transfers/LineItem.h"

namespace ombrelay {

class RSSLine;

// A row of a result or feed list: a result torrent (or feed entry) and its folders and files. When the
// result's torrent is in the transfers list as another object (added from a file, another search, a
// restart), a file row shows and changes the live torrent's line at the same place in the tree.
class ResultItem : public LineItem
{
public:
    using LineItem::LineItem;

    RSSLine* rssLine() const;  // null unless a feed entry's row
    // The line this row shows: its own, or the live torrent's counterpart (see above).
    OBLine* shownLine() const;

    QVariant outlineValue(const QString& key) const override;
    bool hasAudio() const override;
    bool hasVideo() const override;
    bool isRSSArticleLine() const override;
    bool isComplete() const override;
    int checkboxState() const override;
    bool checkboxIsEnabled() const override;
    void setCheckboxState(int state) override;

protected:
    std::unique_ptr<LineItem> makeChild(OBLine* line) override;
};

}  // namespace ombrelay
