#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>

namespace ombrelay {

// One feed entry: a map with the keys "title", "link", "description", "commentsLink", "authorName",
// "authorURI", "authorEmail", "guid", "date", "dateAdded", "enclosureURL", "enclosureType",
// "enclosureLength" and "isNew", stored as it is in the feed's file. Shared: the feed and the feed
// lines hold the same item, so a change made through a line reaches the feed and its file.
// Main thread only once it belongs to a feed.
class FeedItem
{
public:
    explicit FeedItem(QVariantMap values = {}) : m_values(std::move(values)) {}

    const QVariantMap& values() const { return m_values; }
    QVariant value(const QString& key) const { return m_values.value(key); }
    // The value when it is text, else the empty text.
    QString string(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);

    // "isNew" read as "1"/"0" text or as a boolean.
    bool isNew() const;

    // The owning feed hears of each change; an item that left its feed tells nobody.
    bool isInFeed() const { return m_inFeed; }
    void joinFeed(std::function<void()> changed);
    void leaveFeed();
    // How many items have left a feed in this process, so caches know when to look again.
    static quint64 departures();

private:
    QVariantMap m_values;
    std::function<void()> m_changed;
    bool m_inFeed = false;
};

using FeedItemPtr = std::shared_ptr<FeedItem>;

}  // namespace ombrelay
