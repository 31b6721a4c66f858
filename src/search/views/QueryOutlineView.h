#pragma once

#include "engine/core/EngineHost.h"
#include "uikit/PZOutlineView.h"

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <memory>

class QMenu;
class QTimer;

namespace ombrelay {

class AddressTrimmer;
class QueryController;
class ResultItem;
class ScraperItem;
class SearchSiteScraper;

// The list of one search's results (and the base of the feed list): type tabs, the filter field, live
// progress in the download column and the actions that start downloads from results. Rows wrap the
// lines in ResultItems the view owns. Following a search that groups its results ("kClusterResultsA"),
// the top-level rows are one group row per site with results, each over that site's filtered results. Swarm and status updates of its lines re-sort at most once per
// pass of the event loop, and a status update redraws the line's rows (a transfer started from the list
// shows in its file rows at once); the download cells of visible transfers redraw every second, those of
// starting ones every 0.05 s while the list is shown.
class QueryOutlineView : public PZOutlineView
{
    Q_OBJECT
public:
    explicit QueryOutlineView(QWidget* parent = nullptr);
    ~QueryOutlineView() override;

    // Follows a search: its lines (flat or grouped by site as the search says), its query terms, and
    // swarm sizes asked only while shown.
    void setQueryController(QueryController* controller);
    QueryController* queryController() const;

    // The lower-cased words of the search, drawn bold in result names.
    QStringList queryTerms() const { return m_queryTerms; }
    void setQueryTerms(const QStringList& terms) { m_queryTerms = terms; }

    // The result lines, in the search's order; rows of lines kept in the new list stay the same objects.
    void setLines(const TorrentLineList& lines);
    // One group row per site, over the site's lines; rows of lines and sites kept stay the same objects.
    void setScrapers(const QList<SearchSiteScraper*>& scrapers);
    bool isGrouped() const { return m_grouped; }
    // The group rows, in the search's site order; empty when flat.
    const QList<ScraperItem*>& scraperItems() const { return m_groups; }
    // Expands the group rows whose site is marked expanded.
    void expandScrapers();
    TorrentLineList lines() const;
    ResultItem* itemForLine(const TorrentLine* line) const { return m_items.value(line); }
    bool hasObject(const TorrentLine* line) const { return m_items.contains(line); }
    // The first row showing the line; -1 when none.
    int rowForLine(const TorrentLine* line) const;

    // Binds the sort order to a settings key, starting from `fallback` while the key holds none.
    void bindSortOrder(const QString& key, const PZSortDescriptor& fallback);

    void initTabView() override;
    PZPredicateRef predicateForTypeIndex(int index) const override;
    int heightOfRow(const PZOutlineObject& object, int level) const override;
    bool isGroupItem(const PZOutlineObject& object) const override;
    PZTrackingCell* cellFor(int column, const PZOutlineObject* object) const override;
    void rebuildFilterPredicate() override;
    int countForPredicate(const PZPredicateRef& predicate) const override;

    bool canDownloadSelected() const;
    void downloadSelected();
    // Sets the wanted files of the selected rows (see the source) and answers the torrents to start.
    static TorrentLineList downloadSelection(const QList<PZOutlineObject*>& selected);
    // The context menu for a point in the viewport; selects the row under it first.
    QMenu* menuForPoint(const QPoint& position);
    void downloadTo();
    void searchShoppingSite();
    void shareByShortMessage();
    // The shopping site's search page for a result name, "." read as " ".
    static QUrl shoppingAddress(const QString& name);
    // The status page for a shortening answer: one trimmed line of at most 2 KiB holding an absolute
    // http(s) address; empty otherwise.
    static QUrl statusAddress(const QString& answer);

signals:
    // For the shell: the toolbar's download button revalidates; the source-list row of the search
    // shows new counts; the search toolbar is wanted while the list is shown.
    void validateToolbar();
    void countsChanged();
    void shown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab: the toolbar search field; Shift+Tab: the source list.
    bool focusNextPrevChild(bool next) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Asks every result's trackers for swarm sizes (once per result).
    virtual void scrapeLines();
    // Rearranges on the next pass of the event loop, once however often asked.
    void rearrangeLater();

private:
    void reloadFromController();
    // The result rows for `lines`, kept or made; rows of other lines are handed back to be deleted.
    QList<ResultItem*> takeItems(const TorrentLineList& lines, QHash<const TorrentLine*, ResultItem*>& kept);
    QList<ResultItem*> resultItems() const;
    void groupExpansionChanged(const QModelIndex& index, bool expanded);
    void oneSecondTimer();
    void animationTimer();
    void redrawDownloadCells(bool initialisingOnly);
    void redrawRowsOf(const TorrentLine* line);
    void swarmSizeUpdated(TorrentLine* line);
    void shareAnswered(AddressTrimmer* trimmer);
    ResultItem* selectedItem() const;
    int columnOf(const QString& identifier) const;

    QPointer<QueryController> m_queryController;
    QHash<const TorrentLine*, ResultItem*> m_items;
    QList<ScraperItem*> m_groups;
    bool m_grouped = false;
    QStringList m_queryTerms;
    QTimer* m_animationTimer;
    std::unique_ptr<AddressTrimmer> m_addressTrimmer;
};

}  // namespace ombrelay
