#pragma once

#include "engine/core/EngineHost.h"

namespace ombrelay {

// The download queue's rule, shared by every host of the downloads list: while "kDownloadQueueEnabled"
// is on, at most "kDownloadQueueLimit" torrents download at once (a limit below 1 reads as 1).
class DownloadQueue
{
public:
    // Torrents neither paused, waiting nor complete (halted ones count), and those parked while their
    // files are checked that will download then.
    static int numberOfDownloadingTorrents(const TorrentLineList& torrents);
    // Starts waiting torrents in list order while fewer than the limit download; nothing when the queue
    // is off. A lower limit never stops a running torrent.
    static void updateQueueState(const TorrentLineList& torrents);
};

}  // namespace ombrelay
