#include "engine/storage/DiskSession.h"

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
        // Seeding ends once: the completed state drops the peers and remembers it stopped.
        if (torrent->isComplete() && !torrent->hasStoppedSeeding() && !torrent->shouldSeed())
            torrent->enterCompletedState();
    }
    host.statsUpdated();
}

void DiskSession::saveAtTermination()
{
    m_lifecycle.saveAll(EngineHost::instance().objects());
}

}  // namespace ombrelay
