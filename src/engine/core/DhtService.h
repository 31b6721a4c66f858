#pragma once

#include "engine/torrent/DhtNodeAddress.h"

#include <QList>

namespace ombrelay {

class TorrentLine;

// The torrent model's calls into the DHT. The DHT code installs its service; until then nothing is asked.
class DhtService
{
public:
    virtual ~DhtService() = default;

    static DhtService& instance();  // never null
    static void install(DhtService* service);

    virtual void findPeersForTorrent(TorrentLine& torrent) = 0;
    // Nodes named by a started torrent's metainfo: pinged, and kept when they answer.
    virtual void addNodes(const QList<DhtNodeAddress>& nodes) = 0;
};

}  // namespace ombrelay
