#include "transfers/CurrentDownload.h"

#include "engine/torrent/TorrentLine.h"

namespace ombrelay {

bool CurrentDownload::isListed(const TorrentLine& torrent) const
{
    return m_host.torrentForInfoHash(torrent.infoHash()).get() == &torrent;
}

}  // namespace ombrelay
