#pragma once

#include <QtGlobal>

namespace ombrelay {

class BandwidthProvision;

// What a connection's socket and streams need of the peer that owns them. Main thread only.
class StreamPeer
{
public:
    virtual ~StreamPeer() = default;

    // Past the handshake: reads count against the download budgets.
    virtual bool isStreamingMessages() const = 0;
    // Parses what the read stream holds; runs after every read, also when nothing new arrived.
    virtual void processReadStreamBuffer() = 0;
    // The connection failed or the other side closed it: the peer tears itself down. Runs on a later pass
    // of the event loop, never inside a socket call, so the peer may destroy its PZSocket here.
    virtual void terminatePeer() = 0;
    // The torrent's budgets; null while the connection has no torrent.
    virtual BandwidthProvision* downloadProvision() = 0;
    virtual BandwidthProvision* uploadProvision() = 0;
    // Piece payload handed to the socket: the peer's and the torrent's upload counters and meter. Runs
    // inside a write, so it only counts: it never writes to the stream.
    virtual void didUploadBytes(quint32 bytes) = 0;
    // The connection is established (its first writable event).
    virtual void socketDidOpen() {}
};

}  // namespace ombrelay
