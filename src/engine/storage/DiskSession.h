#pragma once

#include "engine/core/BTCore.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/storage/SessionLoader.h"
#include "engine/storage/TorrentAdder.h"
#include "engine/storage/WatchFolder.h"

#include <QObject>

namespace ombrelay {

class VolumeMonitor;

// The engine's torrents on disk: installs the session lifecycle, loads the session folders, adds
// torrents, scans the watch folder and saves at quit. Its work for the engine's ticks is in hooks().
class DiskSession
{
public:
    explicit DiskSession(VolumeMonitor& volumes);
    ~DiskSession();  // uninstalls the lifecycle

    SessionLifecycle& lifecycle() { return m_lifecycle; }
    SessionLoader& loader() { return m_loader; }
    TorrentAdder adder() { return TorrentAdder(m_lifecycle); }

    // The engine's hooks: values and end of seeding each second, the watch folder every 2 s, saving at quit.
    BTCore::Hooks hooks();
    void oneSecondWork();
    void twoSecondWork() { m_watchFolder.scan(); }
    void saveAtTermination();

private:
    // A complete torrent stops seeding once each time it may no longer seed (its peers go), and may
    // again after a setting lets it.
    static void updateSeeding(TorrentLine& torrent);

    SessionLifecycle m_lifecycle;
    SessionLoader m_loader;
    WatchFolder m_watchFolder;
    QObject m_settingsWatch;  // hears of the seeding settings as they change
};

}  // namespace ombrelay
