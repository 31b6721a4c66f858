#pragma once

#include "engine/torrent/TorrentLine.h"
#include "engine/torrent/Metainfo.h"
#include "search/feeds/FeedItem.h"
#include "search/feeds/RSSTorrentCache.h"

#include <QUrl>
#include <functional>
#include <memory>

namespace ombrelay {

class RSSLine;
using RSSLinePtr = std::shared_ptr<RSSLine>;

// A feed entry as a torrent line: an article (the entry's title and date, its web page on action) until
// the torrent file it points to has been fetched into the cache, then a torrent like any search result.
// The item is shared with its feed, so read marks reach the feed's file. Main thread only.
class RSSLine : public TorrentLine
{
    Q_OBJECT
public:
    // Opens an article's page in a web tab of the window, selected or in the background; the shell
    // installs it. Without one, pages open in the desktop browser.
    using WebTabOpener = std::function<void(const QUrl& address, bool select)>;
    static void setWebTabOpener(WebTabOpener opener);

    // A fetch that failed for a passing cause (no answer, a server error, too many requests) is tried
    // again at most this many times, the first after this pause, each later one after twice the last.
    static constexpr int kMaxRetries = 3;
    static constexpr int kFirstRetryPauseSecs = 60;

    // The line of this very item (by identity), made on first request; none for no item.
    static RSSLinePtr rssLineForItem(const FeedItemPtr& item);
    explicit RSSLine(FeedItemPtr item);

    const FeedItemPtr& item() const { return m_item; }
    bool isRSSArticleLine() const override { return torrentPath().isEmpty(); }
    QString path() const override;
    bool isNew() const override;
    void markAsRead();
    QDateTime date() const override;
    QString torrentAddress() const override;
    // The cache file of the torrent address; empty without one.
    QString torrentStoragePath() const;
    bool hasFailed() const { return m_hasFailed; }
    bool isFetching() const { return m_isFetching; }

    // Takes the torrent from the cache (read and decoded on the cache's queue), or else queues its
    // fetch; nothing for a torrent, a failed line, one already fetching or one waiting to try again.
    void loadTorrentEnclosure();
    void performAction() override;
    void performActionWithModifiers(Qt::KeyboardModifiers modifiers);

    bool setTorrentPath(const QString& path) override;
    bool setTorrentData(const QByteArray& data) override;
    // Read from the cache file each time: the bytes are not kept.
    QByteArray torrentData() const override;

    // The fetch's outcome, from the downloader: the file written to the cache with the metainfo already
    // decoded from it, an answer that is not metainfo or a final client error (the line fails for good),
    // or a passing failure, tried again after a pause while retries are left.
    void handleCompletion(const QString& cachedPath, Metainfo metainfo);
    void handleRefusal();
    void handleError();

signals:
    // Whether the line is a leaf (an article, or a torrent with files) may have changed.
    void leafStateChanged();

private:
    QStringList cachePaths() const;
    bool failWithCacheFile(const QString& path);
    // What the cache held: a torrent, a file that is not one, or nothing (then fetched).
    void cacheRead(std::optional<RSSTorrentCache::CachedFile> cached, std::optional<Metainfo> metainfo);
    // Takes the decoded torrent of a cache file; a file that is none is removed and the line fails.
    bool adoptCachedTorrent(const QString& path, std::optional<Metainfo> metainfo);

    FeedItemPtr m_item;
    bool m_hasFailed = false;
    bool m_isFetching = false;
    int m_retries = 0;
    QDateTime m_retryAfter;
};

}  // namespace ombrelay
