#include "engine/core/DownloadQueue.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/Settings.h"

#include <algorithm>

namespace ombrelay {

int DownloadQueue::numberOfDownloadingTorrents(const TorrentLineList& torrents)
{
    int downloading = 0;
    for (const TorrentLinePtr& line : torrents)
        downloading += (!line->isPaused() && !line->isWaiting() && !line->isComplete()) ||
                               (line->isCheckingFiles() && line->stateAfterCheck() == TorrentLine::Downloading)
                           ? 1
                           : 0;
    return downloading;
}

void DownloadQueue::updateQueueState(const TorrentLineList& torrents)
{
    const Settings& settings = Settings::instance();
    if (!settings.boolean(QStringLiteral("kDownloadQueueEnabled")))
        return;
    // A limit below one would hold every torrent back for good.
    const qint64 limit = std::max<qint64>(1, settings.integer(QStringLiteral("kDownloadQueueLimit")));
    for (const TorrentLinePtr& line : torrents) {
        if (numberOfDownloadingTorrents(torrents) >= limit)
            break;
        if (line->isWaiting())
            line->retryDownload();
    }
}

}  // namespace ombrelay
