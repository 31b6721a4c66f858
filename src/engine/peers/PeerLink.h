#pragma once

#include "engine/peers/PeerAddress.h"

#include <memory>

namespace ombrelay {

// What the connection manager needs of one peer connection; the peer wire implements it.
class PeerLink
{
public:
    virtual ~PeerLink() = default;

    virtual PeerAddress peerAddress() const = 0;
    // Piece bytes received from the peer since this connection began; 64 bits, never wraps.
    virtual quint64 bytesDownloaded() const = 0;
    // Closes the connection. The wire may report the end (TorrentPeers::removePeer) during the call.
    virtual void disconnectFromPeer() = 0;
};

using PeerLinkPtr = std::shared_ptr<PeerLink>;

}  // namespace ombrelay
