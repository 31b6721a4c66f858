#include "engine/storage/DiskSession.h"

#include "engine/core/EngineHost.h"
#include "engine/core/PeerService.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/Settings.h"

namespace ombrelay {

DiskSession::DiskSession(VolumeMonitor& volumes)
    : m_lifecycle(volumes),
      m_loader(m_lifecycle),
      m_watchFolder([this](const TorrentLineList& lines) {
          const bool confirm = Settings::instance().boolean(QStringLiteral("kConfirmLocationAuto"));
          adder().addTorrentLines(lines, confirm, true, false);
      })
{
    TorrentLifecycle::install(&m_lifecycle);
    // At once, not at the next tick: seeding turned on and off again within a second stops it again.
    QObject::connect(&Settings::instance(), &Settings::changed, &m_settingsWatch, [](const QString& key) {
        if (key == QLatin1String("kSeedingEnabled") || key == QLatin1String("kStopSeedingAtRatio")
            || key == QLatin1String("kStopSeedingRatio"))
            for (const TorrentLinePtr& torrent : EngineHost::instance().objects())
                updateSeeding(*torrent);
    });
}

DiskSession::~DiskSession()
{
    TorrentLifecycle::install(nullptr);
}

BTCore::Hooks DiskSession::hooks()
{
    BTCore::Hooks hooks;
    hooks.oneSecondWork = [this] { oneSecondWork(); };
    hooks.twoSecondWork = [this] { twoSecondWork(); };
    hooks.saveAtTermination = [this] { saveAtTermination(); };
    return hooks;
}

void DiskSession::oneSecondWork()
{
    EngineHost& host = EngineHost::instance();
    const TorrentLineList torrents = host.objects();  // const: iterating copies nothing
    for (const TorrentLinePtr& torrent : torrents) {
        // Only a torrent that runs, or whose rates are still falling, changes from one second to the
        // next; the others refresh when their state changes.
        if (torrent->downloadState() == TorrentLine::Downloading || torrent->isSeeding() || torrent->downloadRate() > 0
            || torrent->uploadRate() > 0) {
            torrent->invalidateValues();
            torrent->invalidateBindingsText();
        }
        updateSeeding(*torrent);
    }
    host.statsUpdated();
}

void DiskSession::updateSeeding(TorrentLine& torrent)
{
    // The completed state drops the peers and remembers it stopped, until a setting lets it seed again
    // (seeding on, a higher ratio).
    if (!torrent.isComplete())
        return;
    const bool maySeed = torrent.shouldSeed();
    if (!maySeed && !torrent.hasStoppedSeeding()) {
        torrent.enterCompletedState();
    } else if (maySeed && torrent.hasStoppedSeeding()) {
        torrent.setHasStoppedSeeding(false);
        PeerService::instance().connectToPeers();
    }
}

void DiskSession::saveAtTermination()
{
    m_lifecycle.saveAll(EngineHost::instance().objects());
}

}  // namespace ombrelay
