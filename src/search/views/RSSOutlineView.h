#pragma once

#include "search/views/QueryOutlineView.h"

namespace ombrelay {

// The list of one feed's entries: the result columns plus the date and "new" mark, and a "Links" tab
// for entries whose torrent file is not loaded yet. Never grouped. Entries' torrent files and swarm
// sizes are asked newest first when the list is shown. Posts "RSSOutlineViewStatusChanged" when the
// count of new entries may have changed.
class RSSOutlineView : public QueryOutlineView
{
    Q_OBJECT
public:
    explicit RSSOutlineView(QWidget* parent = nullptr);
    ~RSSOutlineView() override;

    // The feed's lines in the feed's order.
    void setFeedLines(const TorrentLineList& lines);
    bool hasNewItems() const;
    int numberOfNewItems() const;
    void markAllRead();
    // Only the new entries pass the filter while set.
    void setShowsOnlyNew(bool only);
    bool showsOnlyNew() const { return m_showsOnlyNew; }

    void initTabView() override;
    PZPredicateRef filterPredicate() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void scrapeLines() override;

private:
    void statusChanged();
    void structureUpdated(TorrentLine* line);
    void applyStructureUpdates();
    QList<TorrentLine*> linesNewestFirst() const;

    bool m_showsOnlyNew = false;
    // Lines whose files became known since the last pass: many arrive at once from the cache.
    QList<QPointer<TorrentLine>> m_structureUpdates;
};

}  // namespace ombrelay
