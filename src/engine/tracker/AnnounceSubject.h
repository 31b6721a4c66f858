#pragma once

#include "engine/tracker/AnnounceReply.h"

#include <QByteArray>
#include <QStringList>

namespace ombrelay {

// What announcing needs of a torrent and the engine: the torrent model implements it, tests fake it.
class AnnounceSubject
{
public:
    virtual ~AnnounceSubject() = default;

    virtual QByteArray infoHash() const = 0;
    virtual QByteArray peerId() const = 0;
    virtual quint16 listeningPort() const = 0;  // the port actually reachable
    virtual quint64 bytesUploaded() const = 0;
    virtual quint64 bytesDownloaded() const = 0;
    virtual quint64 bytesLeft() const = 0;
    virtual QStringList httpTrackers() const = 0;  // in the order to try them
    virtual bool isPaused() const = 0;
    // Peers a tracker named; they go into the torrent's peer database as inactive, then get dialled.
    virtual void addPeers(const QList<AnnounceReply::Peer>& peers) = 0;
};

}  // namespace ombrelay
