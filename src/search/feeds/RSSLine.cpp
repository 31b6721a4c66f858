#include "search/feeds/RSSLine.h"

#include "engine/bencode/Bdecoder.h"
#include "kit/NotificationCenter.h"
#include "kit/SerialQueue.h"
#include "kit/ServiceAddresses.h"
#include "search/feeds/Feed.h"
#include "search/feeds/RSSLineCache.h"
#include "search/feeds/RSSTorrentCache.h"
#include "search/feeds/RSSTorrentFetchQueue.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace ombrelay {
namespace {

RSSLine::WebTabOpener& webTabOpener()
{
    static RSSLine::WebTabOpener opener;
    return opener;
}

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

}  // namespace

void RSSLine::setWebTabOpener(WebTabOpener opener)
{
    webTabOpener() = std::move(opener);
}

RSSLinePtr RSSLine::rssLineForItem(const FeedItemPtr& item)
{
    return item ? RSSLineCache::instance().lineForItem(item) : nullptr;
}

RSSLine::RSSLine(FeedItemPtr item)
    : m_item(std::move(item))
{
}

QString RSSLine::path() const
{
    return isRSSArticleLine() ? m_item->string(QStringLiteral("title")) : TorrentLine::path();
}

bool RSSLine::isNew() const
{
    return m_item->isNew();
}

void RSSLine::markAsRead()
{
    m_item->setValue(QStringLiteral("isNew"), false);
}

QDateTime RSSLine::date() const
{
    const QVariant date = m_item->value(QStringLiteral("date"));
    return date.typeId() == QMetaType::QDateTime ? date.toDateTime() : QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
}

QString RSSLine::torrentAddress() const
{
    if (m_item->string(QStringLiteral("enclosureType")) == QLatin1String("application/x-bittorrent"))
        return m_item->string(QStringLiteral("enclosureURL"));
    const QString link = m_item->string(QStringLiteral("link"));
    const QLatin1String prefix(service::kFeedIndexSitePrefix);
    if (link.startsWith(prefix))
        return link.left(prefix.size() - 5) + QStringLiteral("/get/") + link.mid(prefix.size());
    if (QFileInfo(QUrl(link).path()).suffix() == QLatin1String("torrent"))
        return link;
    return {};
}

QStringList RSSLine::cachePaths() const
{
    const QString address = torrentAddress();
    if (address.isEmpty())
        return {};
    return RSSTorrentCache::storagePaths(QUrl(address, QUrl::TolerantMode), RSSTorrentCache::cachePath());
}

QString RSSLine::torrentStoragePath() const
{
    const QStringList paths = cachePaths();
    return paths.isEmpty() ? QString() : paths.first();
}

void RSSLine::loadTorrentEnclosure()
{
    if (!isRSSArticleLine() || m_hasFailed || m_isFetching || (m_retryAfter.isValid() && Feed::now() < m_retryAfter))
        return;
    const QStringList paths = cachePaths();
    if (paths.isEmpty())
        return;
    m_isFetching = true;
    const std::weak_ptr<RSSLine> weak = std::static_pointer_cast<RSSLine>(shared_from_this());
    const QString root = RSSTorrentCache::cachePath();
    RSSTorrentCache::queue().post(nullptr, [weak, paths, root] {
        std::optional<RSSTorrentCache::CachedFile> cached = RSSTorrentCache::readFirst(paths, root, Bdecoder::kMetainfoLimit);
        std::optional<Metainfo> metainfo = cached ? Metainfo::read(cached->bytes) : std::nullopt;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [weak, cached = std::move(cached), metainfo = std::move(metainfo)]() mutable {
            if (const std::shared_ptr<RSSLine> line = weak.lock())
                line->cacheRead(std::move(cached), std::move(metainfo));
        }, Qt::QueuedConnection);
    });
}

void RSSLine::cacheRead(std::optional<RSSTorrentCache::CachedFile> cached, std::optional<Metainfo> metainfo)
{
    if (!m_isFetching || !isRSSArticleLine())
        return;
    if (!cached) {
        RSSTorrentFetchQueue::instance().enqueue(std::static_pointer_cast<RSSLine>(shared_from_this()),
                                                 QUrl(torrentAddress(), QUrl::TolerantMode), cachePaths());
        return;
    }
    const bool adopted = adoptCachedTorrent(cached->path, std::move(metainfo));
    emit leafStateChanged();
    postNotificationAboutSelf(this, QStringLiteral("TorrentLineStatusUpdated"));
    if (adopted)
        postNotificationAboutSelf(this, QStringLiteral("TorrentLineStructureUpdated"));
}

bool RSSLine::adoptCachedTorrent(const QString& path, std::optional<Metainfo> metainfo)
{
    m_isFetching = false;
    if (!metainfo || !adoptTorrentFile(path, std::move(*metainfo)))
        return failWithCacheFile(path);
    dropTorrentData();
    return true;
}

bool RSSLine::failWithCacheFile(const QString& path)
{
    RSSTorrentCache::remove(path, RSSTorrentCache::cachePath());
    TorrentLine::setTorrentPath(QString());  // clears the path; an empty one never reads
    m_hasFailed = true;
    return false;
}

bool RSSLine::setTorrentPath(const QString& path)
{
    if (!TorrentLine::setTorrentPath(path))
        return failWithCacheFile(path);
    dropTorrentData();
    return true;
}

bool RSSLine::setTorrentData(const QByteArray& data)
{
    if (!TorrentLine::setTorrentData(data))
        return failWithCacheFile(torrentPath());
    dropTorrentData();
    return true;
}

QByteArray RSSLine::torrentData() const
{
    QFile file(torrentPath());
    if (torrentPath().isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > Bdecoder::kMetainfoLimit)
        return {};
    return file.read(file.size());
}

void RSSLine::handleCompletion(const QString& cachedPath, Metainfo metainfo)
{
    if (adoptCachedTorrent(cachedPath, std::move(metainfo))) {
        emit leafStateChanged();
        postNotificationAboutSelf(this, QStringLiteral("TorrentLineStatusUpdated"));
        postNotificationAboutSelf(this, QStringLiteral("TorrentLineStructureUpdated"));
    }
}

void RSSLine::handleRefusal()
{
    m_isFetching = false;
    m_hasFailed = true;
    emit leafStateChanged();
    postNotificationAboutSelf(this, QStringLiteral("TorrentLineStatusUpdated"));
}

void RSSLine::handleError()
{
    m_isFetching = false;
    if (m_retries == kMaxRetries)
        m_hasFailed = true;
    else
        m_retryAfter = Feed::now().addSecs(qint64(kFirstRetryPauseSecs) << m_retries++);
    emit leafStateChanged();
    postNotificationAboutSelf(this, QStringLiteral("TorrentLineStatusUpdated"));
}

void RSSLine::performAction()
{
    performActionWithModifiers(QGuiApplication::keyboardModifiers());
}

void RSSLine::performActionWithModifiers(Qt::KeyboardModifiers modifiers)
{
    if (!isRSSArticleLine()) {
        TorrentLine::performAction();
    } else {
        // Only web pages: an entry's link may be anything ("javascript:", "file:").
        const QUrl link(m_item->string(QStringLiteral("link")), QUrl::TolerantMode);
        if (isWebAddress(link)) {
            if ((modifiers & Qt::AltModifier) || !webTabOpener())
                QDesktopServices::openUrl(link);
            else
                webTabOpener()(link, !(modifiers & Qt::ControlModifier));
        }
    }
    postNotificationAboutSelf(this, QStringLiteral("TorrentLineStatusUpdated"));
    postNotificationAboutSelf(this, QStringLiteral("RSSLineReadStatusUpdated"));
}

}  // namespace ombrelay
