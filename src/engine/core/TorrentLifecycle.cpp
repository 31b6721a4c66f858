#include "engine/core/TorrentLifecycle.h"

#include "engine/core/InstalledService.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"

namespace ombrelay {
namespace {

// Torrents in memory only: adding puts lines straight into the downloads list, respecting the queue.
class InMemoryLifecycle final : public TorrentLifecycle
{
public:
    void downloadTorrentLines(const TorrentLineList& lines, bool) override
    {
        EngineHost& host = EngineHost::instance();
        const Settings& settings = Settings::instance();
        for (const TorrentLinePtr& line : lines) {
            if (line->isDownloading())
                continue;
            if (line->downloadPath().isEmpty())
                line->setDownloadPath(AppPaths::downloadPath());
            host.addDownload(line);
            const bool queued = settings.boolean(QStringLiteral("kDownloadQueueEnabled")) &&
                                host.numberOfDownloadingTorrents() >
                                    settings.integer(QStringLiteral("kDownloadQueueLimit"));
            line->beginDownloadWithState(queued ? TorrentLine::Waiting : TorrentLine::Downloading);
        }
    }
    void writeStatePlist(TorrentLine&) override {}
    void purgeCachedDescriptors(TorrentLine&) override {}
    void relocateOnCompletion(TorrentLine&, std::function<void()> done) override
    {
        if (done)
            done();
    }
    void torrentRemoved(TorrentLine&, bool) override {}
    bool isPathOnUnattachedVolume(const QString&) const override { return false; }
    QString volumeName(const QString&) const override { return {}; }
};

}  // namespace

TorrentLifecycle& TorrentLifecycle::instance()
{
    static InMemoryLifecycle inMemory;
    return InstalledService<TorrentLifecycle>::get(inMemory);
}

void TorrentLifecycle::checkExistingFiles(TorrentLine& torrent)
{
    if (torrent.isCheckingFiles())
        torrent.existingFilesChecked({});
}

bool TorrentLifecycle::isOnUnattachedVolume(const TorrentLine& torrent) const
{
    return isPathOnUnattachedVolume(torrent.downloadPath());
}

std::function<bool(const QString&)> TorrentLifecycle::detachedTest(const TorrentLine&) const
{
    return [this](const QString& path) { return isPathOnUnattachedVolume(path); };
}

void TorrentLifecycle::install(TorrentLifecycle* lifecycle)
{
    InstalledService<TorrentLifecycle>::set(lifecycle);
}

}  // namespace ombrelay
