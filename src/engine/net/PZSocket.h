#pragma once

#include "engine/net/PZReadStream.h"
#include "engine/net/PZWriteStream.h"
#include "engine/net/SocketReactor.h"

#include <QObject>

namespace ombrelay {

class StreamPeer;

// One peer connection's non-blocking TCP socket with its input (PZReadStream) and output (PZWriteStream),
// registered with the reactor. Readability reads within the download budgets; writability opens the
// connection and moves queued output; end of file parses what is pending, then ends the peer. Write
// interest is on only while output is waiting for the socket, so an idle connection costs nothing.
// Main thread only.
class PZSocket : public QObject, private SocketReactor::Handler
{
    Q_OBJECT
public:
    // Adopts a connected or still connecting TCP descriptor and closes it on destruction.
    PZSocket(int fd, StreamPeer* peer, QObject* parent = nullptr);
    ~PZSocket() override;

    // Starts a non-blocking, close-on-exec connection to an IPv4 address in network order; -1 on failure,
    // with errno saying why.
    static int connectTo(quint32 addressNetworkOrder, quint16 port);
    // Whether a connection failed for a reason of ours rather than the peer's: no descriptor or buffer
    // left, no route or network (offline), no local port free.
    static bool isLocalFailure(int error);

    int descriptor() const { return m_fd; }
    StreamPeer* peer() const { return m_peer; }
    PZReadStream& readStream() { return m_readStream; }
    PZWriteStream& writeStream() { return m_writeStream; }

    // Established: the socket reported writable once without error.
    bool isOpen() const { return m_open; }
    bool isClosed() const { return m_fd < 0; }

    // Leaves the reactor, drops queued output and closes the descriptor; the streams then do nothing.
    void close();
    // A failed read or write, or the end of the connection: closes and has the peer terminate on the next
    // pass of the event loop.
    void fail();
    // Brings the reactor's interests in line with what the streams wait for.
    void updateInterest();
    // Decrypted input came back and was parsed: reading resumes, or a connection that ended meanwhile
    // fails once all of it is parsed.
    void decryptionReturned();

private:
    void socketEvents(quint32 events) override;

    int m_fd;
    StreamPeer* m_peer;
    quint64 m_token = 0;
    bool m_open = false;
    bool m_failed = false;
    bool m_endedWhileDecrypting = false;
    bool m_wantRead = true;
    bool m_wantWrite = true;
    PZReadStream m_readStream;
    PZWriteStream m_writeStream;
};

}  // namespace ombrelay
