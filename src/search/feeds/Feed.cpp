#include "search/feeds/Feed.h"

#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/SerialQueue.h"
#include "kit/http/PZHTTPLoader.h"
#include "search/feeds/FeedDocument.h"
#include "search/feeds/FeedStorage.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QThreadPool>
#include <cstdio>

namespace ombrelay {
namespace {

const QString kLoadKey = QStringLiteral("loadFeed");
const QString kSaveKey = QStringLiteral("saveFeed");

// Feeds name themselves as the program, follow redirects and send no cookies.
class FeedLoader : public PZHTTPLoader
{
protected:
    QByteArray userAgent() const override { return applicationUserAgent(); }
    bool shouldAutoRedirect() const override { return true; }
};

QHash<QString, Feed*>& registry()
{
    static auto& feeds = *new QHash<QString, Feed*>;  // feeds live as long as the process
    return feeds;
}

Feed::Clock& feedClock()
{
    static Feed::Clock current;
    return current;
}

// Feed files are read and written here, one at a time, off the main thread.
SerialQueue& storageQueue()
{
    static SerialQueue queue(QStringLiteral("Feed storage"));
    return queue;
}

QString withoutFeedScheme(const QString& address)
{
    if (!address.startsWith(QLatin1String("feed:"), Qt::CaseInsensitive))
        return address;
    const QString rest = address.mid(5);
    if (rest.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || rest.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return rest;
    return QStringLiteral("http:") + rest;
}

qint64 textBytes(const QVariantMap& item)
{
    qint64 bytes = 0;
    for (const QVariant& value : item)
        if (value.typeId() == QMetaType::QString)
            bytes += qint64(value.toString().size()) * qint64(sizeof(QChar));
    return bytes;
}

}  // namespace

// What a worker hands back: the parsed document, its new entries and the index extended by them.
struct Feed::Merge
{
    quint64 generation = 0;
    quint64 indexVersion = 0;
    FeedItemIndex index;
    bool isValidFeed = false;
    QString format;
    QString name;
    QString rssVersion;
    QString error;
    QList<FeedItemPtr> fresh;
    qint64 freshTextBytes = 0;
    QByteArray lastModified;
    QByteArray etag;
};

Feed* Feed::feedWithAddress(const QString& address)
{
    Feed*& feed = registry()[address];
    if (!feed) {
        feed = new Feed(address, false);
        feed->start();
    }
    return feed;
}

Feed* Feed::feedWithItem(const QVariantMap& sourceItem)
{
    const QString address = sourceItem.value(QStringLiteral("url")).toString();
    return address.isEmpty() ? nullptr : feedWithAddress(address);
}

void Feed::removeFeedWithAddress(const QString& address)
{
    Feed* feed = registry().take(address);
    if (!feed)
        return;
    feed->stop();
    const QString path = feed->storageFilePath();
    bool shared = false;
    for (Feed* other : std::as_const(registry()))
        shared = shared || other->storageFilePath() == path;
    if (!shared)
        storageQueue().post(nullptr, [path] { QFile::remove(path); });
    feed->deleteLater();
}

QList<Feed*> Feed::registeredFeeds()
{
    return registry().values();
}

std::unique_ptr<Feed> Feed::trialFeed(const QString& address)
{
    std::unique_ptr<Feed> feed(new Feed(address, true));
    feed->m_storedItemsLoaded = true;
    return feed;
}

void Feed::setClock(Clock clock)
{
    feedClock() = std::move(clock);
}

QDateTime Feed::now()
{
    return feedClock() ? feedClock()() : QDateTime::currentDateTimeUtc();
}

Feed::Feed(const QString& address, bool temporary)
    : m_givenAddress(address), m_address(withoutFeedScheme(address)), m_isTempFeed(temporary)
{
}

Feed::~Feed()
{
    stop();
}

void Feed::start()
{
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &Feed::saveFeedToDisk);
    // The first fetch waits for the stored items, so that it merges against them.
    m_loadWhenStored = true;
    const QPointer<Feed> self(this);
    const QString path = storageFilePath();
    storageQueue().post(this, [self, path] {
        auto stored = std::make_shared<Merge>();
        for (QVariantMap& values : FeedStorage::read(path)) {
            stored->index.insert(values);
            stored->freshTextBytes += textBytes(values);
            stored->fresh.append(std::make_shared<FeedItem>(std::move(values)));
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, stored] {
            if (self)
                self->storedItemsRead(stored);
        }, Qt::QueuedConnection);
    });
}

void Feed::storedItemsRead(const std::shared_ptr<Merge>& stored)
{
    // Stored items come before anything fetched in the meantime.
    QList<FeedItemPtr> fetched = std::move(m_items);
    m_items.clear();
    m_textBytes = 0;
    takeIn(stored->fresh, stored->freshTextBytes);
    if (fetched.isEmpty()) {
        replaceIndex(std::move(stored->index));
    } else {
        takeIn(fetched, textSize(fetched));
        rebuildIndex();
    }
    enforceLimits();
    m_storedItemsLoaded = true;
    if (std::exchange(m_loadWhenStored, false))
        loadFeed();
}

void Feed::replaceIndex(FeedItemIndex index)
{
    // The old index may be the only holder of thousands of texts: freed off the main thread.
    QThreadPool::globalInstance()->start([old = std::move(m_index)] { (void)old; });
    m_index = std::move(index);
    ++m_indexVersion;
}

void Feed::stop()
{
    PerformLater::cancel(this);
    stopListening(this);
    if (QCoreApplication::instance())
        disconnect(QCoreApplication::instance(), nullptr, this, nullptr);
    storageQueue().cancel(this);
    ++m_generation;
    if (m_loader)
        m_loader->killConnection();
    for (const FeedItemPtr& item : std::as_const(m_items))
        item->leaveFeed();
}

bool Feed::isValidFeed() const
{
    return m_feedFormat == QLatin1String("rss") || m_feedFormat == QLatin1String("rdf:RDF")
        || m_feedFormat == QLatin1String("feed");
}

bool Feed::isLoading() const
{
    return (m_loader && m_loader->isLoading()) || m_parsing;
}

QString Feed::storageFilePath() const
{
    return FeedStorage::storageFilePath(m_givenAddress);
}

void Feed::refresh()
{
    m_lastModified.clear();
    m_etag.clear();
    loadFeed();
}

void Feed::loadFeed()
{
    PerformLater::cancel(this, kLoadKey);
    if (!m_isTempFeed)
        PerformLater::schedule(this, [this] { loadFeed(); }, kRefreshIntervalMs, kLoadKey);
    if (m_address.isEmpty())
        return;
    ++m_generation;
    m_parsing = false;
    m_dataLoaded = 0;
    if (!m_loader) {
        m_loader = std::make_unique<FeedLoader>();
        m_loader->setAcceptsCompressedBody(true);
        if (m_isTempFeed) {
            m_loader->setMaxBodySize(kTrialBodyCap);
            m_loader->setTimeoutMs(m_trialTimeoutMs);
        }
        connect(m_loader.get(), &PZHTTPLoader::receivedFirstBytes, this,
                [this] { postNotificationAboutSelf(this, QStringLiteral("FeedWillLoadNotification")); });
        connect(m_loader.get(), &PZHTTPLoader::completed, this, [this] { fetchCompleted(); });
        connect(m_loader.get(), &PZHTTPLoader::failed, this,
                [this](PZHTTPLoader*, const HttpError& error) { fetchFailed(error); });
    }
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!m_lastModified.isEmpty())
        headers.append({"If-Modified-Since", m_lastModified});
    if (!m_etag.isEmpty())
        headers.append({"If-None-Match", m_etag});
    m_loader->setRequestHeaders(headers);
    m_loader->loadURL(QUrl(m_address, QUrl::TolerantMode));
}

void Feed::fetchFailed(const HttpError& error)
{
    m_lastStatusCode = 0;
    m_lastErrorKind = error.kind;
    fprintf(stderr, "*** feed %s: %s\n", qPrintable(m_address), qPrintable(error.message));
    postNotificationAboutSelf(this, QStringLiteral("FeedLoadErrorNotification"));
}

void Feed::fetchCompleted()
{
    const int status = m_loader->statusCode();
    const QByteArray data = m_loader->data();
    m_lastStatusCode = status;
    m_lastErrorKind = HttpError::Kind::None;
    m_dataLoaded = data.size();
    if (status == 304) {
        postNotificationAboutSelf(this, QStringLiteral("FeedDataLoadedNotification"));
        return;
    }
    if (status < 200 || status > 299) {
        fprintf(stderr, "*** feed %s: status %d\n", qPrintable(m_address), status);
        postNotificationAboutSelf(this, QStringLiteral("FeedLoadErrorNotification"));
        return;
    }
    auto merge = std::make_shared<Merge>();
    merge->generation = m_generation;
    merge->indexVersion = m_indexVersion;
    merge->index = m_index;
    merge->lastModified = m_loader->lastModified();
    merge->etag = m_loader->etag();
    m_parsing = true;
    const QUrl base = m_loader->url();
    const QDateTime now = Feed::now();
    const QPointer<Feed> self(this);
    QThreadPool::globalInstance()->start([self, merge, data, base, now] {
        // The document is dropped here too: freeing thousands of entries is work the main thread is spared.
        const FeedDocument document = FeedDocument::parse(data, base, now);
        merge->isValidFeed = document.isValidFeed();
        merge->format = document.feedFormat();
        merge->name = document.name();
        merge->rssVersion = document.rssVersion();
        merge->error = document.errorString();
        for (const QVariantMap& values : document.items()) {
            if (merge->index.contains(values))
                continue;
            merge->index.insert(values);
            merge->fresh.append(std::make_shared<FeedItem>(values));
            merge->freshTextBytes += textBytes(values);
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, merge] {
            if (self)
                self->merged(merge);
        }, Qt::QueuedConnection);
    });
}

void Feed::merged(const std::shared_ptr<Merge>& merge)
{
    if (merge->generation != m_generation)
        return;  // a later fetch replaced this one
    m_parsing = false;
    if (!merge->isValidFeed) {
        if (merge->error.startsWith(QLatin1String("Unsupported")))
            fprintf(stderr, "*** %s (%s)\n", qPrintable(merge->error), qPrintable(m_address));
        else
            fprintf(stderr, "*** xmlDocument parse error: (%s) %s\n", qPrintable(m_address), qPrintable(merge->error));
        postNotificationAboutSelf(this, QStringLiteral("FeedDataLoadedNotification"));
        return;
    }
    // Validators only from a whole answer that read as a feed, so a cut one is fetched in full again.
    m_lastModified = merge->lastModified;
    m_etag = merge->etag;
    m_feedFormat = merge->format;
    m_name = merge->name;
    m_rssVersion = merge->rssVersion;
    QList<FeedItemPtr> fresh = std::move(merge->fresh);
    qint64 freshTextBytes = merge->freshTextBytes;
    if (merge->indexVersion == m_indexVersion) {
        replaceIndex(std::move(merge->index));
    } else {
        // The items changed while the worker ran: check against them as they are now.
        QList<FeedItemPtr> checked;
        freshTextBytes = 0;
        for (const FeedItemPtr& item : std::as_const(fresh))
            if (!m_index.contains(item->values())) {
                m_index.insert(item->values());
                checked.append(item);
                freshTextBytes += textBytes(item->values());
            }
        fresh = std::move(checked);
        ++m_indexVersion;
    }
    takeIn(fresh, freshTextBytes);
    enforceLimits();
    if (!fresh.isEmpty())
        scheduleSave();
    postNotificationAboutSelf(this, QStringLiteral("FeedDataLoadedNotification"));
}

void Feed::takeIn(const QList<FeedItemPtr>& items, qint64 textSize)
{
    const QPointer<Feed> self(this);
    m_items.reserve(m_items.size() + items.size());
    for (const FeedItemPtr& item : items) {
        item->joinFeed([self] {
            if (self)
                self->scheduleSave();
        });
        m_items.append(item);
    }
    m_textBytes += textSize;
}

qint64 Feed::textSize(const QList<FeedItemPtr>& items)
{
    qint64 bytes = 0;
    for (const FeedItemPtr& item : items)
        bytes += textBytes(item->values());
    return bytes;
}

void Feed::enforceLimits()
{
    qsizetype drop = std::max<qsizetype>(0, m_items.size() - kMaxItems);
    qint64 bytes = m_textBytes;
    for (qsizetype i = 0; i < drop; ++i)
        bytes -= textBytes(m_items.at(i)->values());
    while (bytes > kMaxTextBytes && drop < m_items.size())
        bytes -= textBytes(m_items.at(drop++)->values());
    if (drop > 0) {
        dropItems(drop);
        rebuildIndex();
    }
}

void Feed::dropItems(qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i) {
        m_textBytes -= textBytes(m_items.at(i)->values());
        m_items.at(i)->leaveFeed();
    }
    m_items.remove(0, count);
}

void Feed::rebuildIndex()
{
    m_index.clear();
    for (const FeedItemPtr& item : std::as_const(m_items))
        m_index.insert(item->values());
    ++m_indexVersion;
}

void Feed::scheduleSave()
{
    if (!m_isTempFeed)
        PerformLater::scheduleOnce(this, [this] { writeSnapshot(); }, kSaveDelayMs, kSaveKey);
}

void Feed::writeSnapshot()
{
    QList<QVariantMap> snapshot;
    snapshot.reserve(m_items.size());
    for (const FeedItemPtr& item : std::as_const(m_items))
        snapshot.append(item->values());
    const QString path = storageFilePath();
    storageQueue().post(this, [path, snapshot = std::move(snapshot)] { FeedStorage::write(path, snapshot); });
}

void Feed::saveFeedToDisk()
{
    if (m_isTempFeed || !m_storedItemsLoaded)
        return;
    PerformLater::cancel(this, kSaveKey);
    const QDateTime oldest = now().addSecs(-kItemLifetimeSeconds);
    QList<FeedItemPtr> kept;
    for (const FeedItemPtr& item : std::as_const(m_items)) {
        const QDateTime added = item->value(QStringLiteral("dateAdded")).toDateTime();
        if (added.isValid() && added < oldest) {
            item->leaveFeed();
            continue;
        }
        item->joinFeed({});  // no save per item while they are all marked read
        item->setValue(QStringLiteral("isNew"), QStringLiteral("0"));
        kept.append(item);
    }
    m_items.clear();
    m_textBytes = 0;
    takeIn(kept, textSize(kept));
    rebuildIndex();
    PerformLater::cancel(this, kSaveKey);
    storageQueue().cancel(this);
    QList<QVariantMap> snapshot;
    for (const FeedItemPtr& item : std::as_const(m_items))
        snapshot.append(item->values());
    FeedStorage::write(storageFilePath(), snapshot);
}

}  // namespace ombrelay
