#include "search/feeds/RSSTorrentDownloader.h"

#include "engine/torrent/Metainfo.h"
#include "kit/SerialQueue.h"
#include "search/feeds/RSSLine.h"
#include "search/feeds/RSSTorrentCache.h"

#include <QCoreApplication>
#include <QPointer>

namespace ombrelay {
namespace {

// Checks and writes of fetched torrent files, off the main thread.
SerialQueue& cacheQueue()
{
    return RSSTorrentCache::queue();
}

// A 4xx answer after the redirects says the file is not to be had; only a time-out and too many requests
// say "not now".
bool isFinalClientError(int status)
{
    return status >= 400 && status <= 499 && status != 408 && status != 429;
}

}  // namespace

RSSTorrentDownloader::RSSTorrentDownloader(std::weak_ptr<RSSLine> line, const QStringList& cachePaths)
    : m_line(std::move(line)), m_cachePaths(cachePaths)
{
    setMaxBodySize(kTorrentFileBodyCap);
}

std::shared_ptr<RSSLine> RSSTorrentDownloader::waitingLine() const
{
    std::shared_ptr<RSSLine> line = m_line.lock();
    return line && line->isRSSArticleLine() ? line : nullptr;
}

void RSSTorrentDownloader::handleCompletion()
{
    const std::shared_ptr<RSSLine> line = waitingLine();
    if (!line || isFinalClientError(statusCode())) {
        if (line)
            line->handleRefusal();
        emit finished(this);
        return;
    }
    if (statusCode() < 200 || statusCode() > 299) {
        handleError();
        return;
    }
    const QPointer<RSSTorrentDownloader> self(this);
    const QByteArray bytes = data();
    const QStringList paths = m_cachePaths;
    const QString root = RSSTorrentCache::cachePath();
    cacheQueue().post(this, [self, bytes, paths, root] {
        std::optional<Metainfo> metainfo = Metainfo::read(bytes);
        const QString path = metainfo ? RSSTorrentCache::write(paths, root, bytes) : QString();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, path, metainfo = std::move(metainfo)]() mutable {
            if (self)
                self->written(path, std::move(metainfo));
        }, Qt::QueuedConnection);
    });
}

void RSSTorrentDownloader::written(const QString& path, std::optional<Metainfo> metainfo)
{
    if (const std::shared_ptr<RSSLine> line = waitingLine()) {
        if (!metainfo)
            line->handleRefusal();
        else if (path.isEmpty())
            line->handleError();
        else
            line->handleCompletion(path, std::move(*metainfo));
    }
    emit finished(this);
}

void RSSTorrentDownloader::handleError()
{
    if (const std::shared_ptr<RSSLine> line = waitingLine())
        line->handleError();
    emit finished(this);
}

}  // namespace ombrelay
