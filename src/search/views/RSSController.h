#pragma once

#include <QObject>
#include <QVariantMap>

class QWidget;

namespace ombrelay {

class FilterSearchField;
class Feed;
class PZRoundTabView;
class RSSOutlineView;

// The pane of one subscribed feed: its entries in an RSSOutlineView under type tabs and a filter
// field. Replaces the list's lines whenever the feed has loaded, and re-evaluates every second whether
// the tab's spinner turns (the feed loading, or an entry's torrent file being fetched) for as long as
// the controller lives. Main thread only.
class RSSController : public QObject
{
    Q_OBJECT
public:
    static constexpr int kProgressCheckMs = 1000;

    // A source-list item of type "RSS" ("name", "url").
    explicit RSSController(const QVariantMap& item, QObject* parent = nullptr);
    ~RSSController() override;

    QWidget* mainView() const { return m_mainView; }
    RSSOutlineView* outlineView() const { return m_outlineView; }
    PZRoundTabView* tabView() const { return m_tabView; }
    FilterSearchField* filterField() const { return m_filterField; }

    Feed* feed() const;
    QString title() const { return m_item.value(QStringLiteral("name")).toString(); }
    const QVariantMap& item() const { return m_item; }
    // The item renamed in the source list.
    void setItem(const QVariantMap& item);
    // A feed list is never grouped by site.
    int clusteringMode() const { return 0; }
    bool isAnimating() const { return m_isAnimating; }

    // The toolbar's refresh: the feed reloads and every entry asks its trackers again.
    void refreshContents();
    void updateProgressIndicator();

signals:
    void titleChanged(const QString& title);
    // For the tab's spinner.
    void animatingChanged(bool animating);

private:
    void reloadLines();

    QVariantMap m_item;
    QWidget* m_mainView;
    PZRoundTabView* m_tabView;
    FilterSearchField* m_filterField;
    RSSOutlineView* m_outlineView;
    bool m_isAnimating = false;
};

}  // namespace ombrelay
