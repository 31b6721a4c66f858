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
    if (!waitingLine()) {
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
        const bool isMetainfo = Metainfo::read(bytes).has_value();
        const QString path = isMetainfo ? RSSTorrentCache::write(paths, root, bytes) : QString();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, path, isMetainfo] {
            if (self)
                self->written(path, isMetainfo);
        }, Qt::QueuedConnection);
    });
}

void RSSTorrentDownloader::written(const QString& path, bool isMetainfo)
{
    if (const std::shared_ptr<RSSLine> line = waitingLine()) {
        if (!isMetainfo)
            line->handleRefusal();
        else if (path.isEmpty())
            line->handleError();
        else
            line->handleCompletion(path);
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
