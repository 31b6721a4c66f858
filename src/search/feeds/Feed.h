#pragma once

#include "search/feeds/FeedItem.h"
#include "search/feeds/FeedItemIndex.h"
#include "kit/http/HttpError.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace ombrelay {

class PZHTTPLoader;

// One feed subscription: fetches its RSS, RDF or Atom document every 15 minutes with a conditional
// request, takes in the entries it has not seen and keeps them in its storage file. Posts
// "FeedWillLoadNotification" when the first bytes arrive, "FeedLoadErrorNotification" when a fetch fails
// and "FeedDataLoadedNotification" when one has ended (after parsing), each with the feed as object.
// Parsing and merging run off the main thread; everything else on it.
class Feed : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 900'000;
    static constexpr int kMaxItems = 10'000;
    static constexpr qint64 kMaxTextBytes = qint64(16) << 20;
    static constexpr qint64 kItemLifetimeSeconds = 604'800;
    static constexpr int kSaveDelayMs = 1000;
    // Trial loads are small and short: a feed is far below this, a silent server gives up soon.
    static constexpr qint64 kTrialBodyCap = qint64(4) << 20;
    static constexpr int kTrialTimeoutMs = 15000;

    // Registered feeds by address (as given), created on first request and kept until removed.
    static Feed* feedWithAddress(const QString& address);
    // A source-list item's feed, by its "url".
    static Feed* feedWithItem(const QVariantMap& sourceItem);
    // Stops the feed and deletes its file (unless another feed uses that file); the feed itself goes on
    // the next pass, so it may be removed from inside its own notification.
    static void removeFeedWithAddress(const QString& address);
    static QList<Feed*> registeredFeeds();
    // A temporary feed to try an address with: never registered, so it cannot stand in for a subscribed
    // one. It neither reads, writes nor deletes a file and fetches only when asked.
    static std::unique_ptr<Feed> trialFeed(const QString& address);

    // The clock that dates items and ages them out; tests replace it.
    using Clock = std::function<QDateTime()>;
    static void setClock(Clock clock);
    static QDateTime now();

    ~Feed() override;

    QString address() const { return m_address; }  // with a leading "feed:" rewritten
    QString registeredAddress() const { return m_givenAddress; }  // as given, the key it is registered under
    const QList<FeedItemPtr>& items() const { return m_items; }
    QString name() const { return m_name; }
    QString feedFormat() const { return m_feedFormat; }
    QString rssVersion() const { return m_rssVersion; }
    bool isValidFeed() const;
    bool isTempFeed() const { return m_isTempFeed; }
    bool isLoading() const;
    // How the last fetch ended: its HTTP status (0 when none answered) and its error, if any.
    int lastStatusCode() const { return m_lastStatusCode; }
    HttpError::Kind lastErrorKind() const { return m_lastErrorKind; }
    // Bytes of the body received in the current fetch.
    qint64 dataLoaded() const { return m_dataLoaded; }
    QByteArray lastModified() const { return m_lastModified; }
    QByteArray etag() const { return m_etag; }
    // The stored items have been read (at once for a temporary feed).
    bool hasLoadedStoredItems() const { return m_storedItemsLoaded; }

    void loadFeed();
    // How long a silent server may keep a trial load waiting; tests shorten it.
    void setTrialTimeoutMs(int ms) { m_trialTimeoutMs = ms; }
    // Forgets the validators, so the next answer is a full one.
    void refresh();

    QString storageFilePath() const;
    // The quit-time save: every item read, items taken in more than 7 days ago dropped, written at once.
    void saveFeedToDisk();

private:
    struct Merge;
    Feed(const QString& address, bool temporary);

    void start();
    void storedItemsRead(const std::shared_ptr<Merge>& stored);
    void replaceIndex(FeedItemIndex index);
    void fetchCompleted();
    void fetchFailed(const HttpError& error);
    void merged(const std::shared_ptr<Merge>& merge);
    // Appends items whose text comes to textSize bytes.
    void takeIn(const QList<FeedItemPtr>& items, qint64 textSize);
    static qint64 textSize(const QList<FeedItemPtr>& items);
    void enforceLimits();
    void rebuildIndex();
    void dropItems(qsizetype count);
    void scheduleSave();
    void writeSnapshot();
    void stop();

    QString m_givenAddress;
    QString m_address;
    bool m_isTempFeed = false;
    int m_trialTimeoutMs = kTrialTimeoutMs;
    bool m_storedItemsLoaded = false;
    bool m_loadWhenStored = false;
    QList<FeedItemPtr> m_items;
    FeedItemIndex m_index;
    quint64 m_indexVersion = 0;
    qint64 m_textBytes = 0;
    QString m_name;
    QString m_feedFormat;
    QString m_rssVersion;
    QByteArray m_lastModified;
    QByteArray m_etag;
    qint64 m_dataLoaded = 0;
    int m_lastStatusCode = 0;
    HttpError::Kind m_lastErrorKind = HttpError::Kind::None;
    quint64 m_generation = 0;
    bool m_parsing = false;
    std::unique_ptr<PZHTTPLoader> m_loader;
};

}  // namespace ombrelay
