#pragma once

#include "engine/peers/PeerAddress.h"

#include <memory>
#include <optional>

namespace ombrelay {

// What the connection manager needs of one peer connection; the peer wire implements it.
class PeerLink
{
public:
    // How a dialled connection starts: the encryption handshake or the plain BitTorrent handshake.
    enum class Handshake { Encrypted, Plain };
    // Why a connection ended, as the connection manager sorts it.
    enum class Ending {
        Open,           // not ended
        Closed,         // by us: stopping, pruning, a ban, nothing to trade, a duplicate
        Ourselves,      // the handshake came back with our own peer id
        Lost,           // refused, reset or closed by the peer, or no handshake or message in time
        BrokeProtocol,  // the peer sent what the protocol forbids
    };

    virtual ~PeerLink() = default;

    virtual PeerAddress peerAddress() const = 0;
    // Where the peer takes connections, what its row is stored and dialled under: the address dialled,
    // or for an incoming connection its address with the port its extension handshake named; none
    // while an incoming peer has named no port.
    virtual std::optional<PeerAddress> listeningAddress() const = 0;
    // Piece bytes received from the peer since this connection began; 64 bits, never wraps.
    virtual quint64 bytesDownloaded() const = 0;
    // The handshake of the connection's last attempt.
    virtual Handshake handshakeMode() const = 0;
    // The peer's host took the connection (it came up) at some point, whatever followed.
    virtual bool peerAnswered() const = 0;
    virtual Ending ending() const = 0;
    // Closes the connection. The wire may report the end (TorrentPeers::removePeer) during the call.
    virtual void disconnectFromPeer() = 0;
};

using PeerLinkPtr = std::shared_ptr<PeerLink>;

}  // namespace ombrelay
