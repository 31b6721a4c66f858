#pragma once

#include "engine/tracker/AnnounceReply.h"

#include <QByteArray>

namespace ombrelay {

class TorrentLine;

// The peers side of announcing: the torrent's peer id, and where the peers a tracker names go (the
// torrent's peer database, inactive, then dialled). The peer code implements it; tests fake it.
class AnnouncePeers
{
public:
    virtual ~AnnouncePeers() = default;
    virtual QByteArray peerId(const TorrentLine& torrent) = 0;
    virtual void addPeers(TorrentLine& torrent, const QList<AnnounceReply::Peer>& peers) = 0;
};

}  // namespace ombrelay
