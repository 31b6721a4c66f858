#pragma once

#include "search/views/RSSOutlineView.h"
#include "search/views/ResultsPane.h"
#include "uikit/PZViewController.h"

#include <QPointer>
#include <QVariantMap>

namespace ombrelay {

class EditSitesButton;
class Feed;
class FilterSearchField;
class FlatCheckbox;
class MarkAllReadButton;
class PZRoundTabView;
class WebStatusBarTextField;

// The pane of one subscribed feed: its entries in an RSSOutlineView under type tabs and a filter field,
// and a bottom bar with "Only New", "Edit Sites…", "Mark All Read" and the feed's status. The feed is
// registered once, when the pane is built; once it is removed the pane shows what it had and never
// brings it back. Replaces the list's lines whenever the feed has loaded, and re-evaluates every second
// whether the tab's spinner turns (the feed loading, or an entry's torrent file being fetched) for as
// long as the controller lives. Main thread only.
class RSSController : public PZViewController, public ResultsPane
{
    Q_OBJECT
public:
    static constexpr int kProgressCheckMs = 1000;

    // A source-list item of type "RSS" ("name", "url").
    explicit RSSController(const QVariantMap& item, QObject* parent = nullptr);
    ~RSSController() override;

    RSSOutlineView* outlineView() const override;
    PZRoundTabView* tabView() const { return m_tabView; }
    FilterSearchField* filterField() const { return m_filterField; }
    FlatCheckbox* onlyNewCheckbox() const { return m_onlyNew; }
    EditSitesButton* editSitesButton() const { return m_editSites; }
    MarkAllReadButton* markAllReadButton() const { return m_markAllRead; }
    WebStatusBarTextField* statusField() const { return m_statusField; }

    // The feed of the item; null once it has been removed.
    Feed* feed() const;
    QString title() const override { return m_item.value(QStringLiteral("name")).toString(); }
    const QVariantMap& item() const { return m_item; }
    // The item renamed in the source list.
    void setItem(const QVariantMap& item);
    // A feed list is never grouped by site.
    int clusteringMode() const { return 0; }
    bool isAnimating() const { return m_isAnimating; }
    int numberOfNewItems() const;
    // Rows that pass the list's current filter.
    int numberOfItems() const;

    // The toolbar's refresh: the feed reloads and every entry asks its trackers again.
    void refreshContents() override;
    void updateProgressIndicator();
    // "3 entries, 1 new", or what the last fetch did.
    QString statusText() const;

signals:
    void titleChanged(const QString& title);
    // For the tab's spinner.
    void animatingChanged(bool animating);
    // The counts the source list shows beside the feed may have changed.
    void countsChanged();

private:
    QWidget* makeBottomBar();
    void reloadLines();
    void updateStatus();

    QVariantMap m_item;
    QPointer<Feed> m_feed;
    QPointer<QWidget> m_view;  // the content view, which the tab strip may reparent and delete
    PZRoundTabView* m_tabView;
    FilterSearchField* m_filterField;
    QPointer<RSSOutlineView> m_outlineView;  // inside the content view
    FlatCheckbox* m_onlyNew = nullptr;
    EditSitesButton* m_editSites = nullptr;
    MarkAllReadButton* m_markAllRead = nullptr;
    WebStatusBarTextField* m_statusField = nullptr;
    bool m_isAnimating = false;
    bool m_loadFailed = false;
};

}  // namespace ombrelay
