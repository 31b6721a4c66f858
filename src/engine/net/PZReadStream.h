#pragma once

#include "engine/net/ReadDecryptor.h"
#include "engine/net/StreamCipher.h"

#include <QByteArray>
#include <memory>
#include <vector>

namespace ombrelay {

class PZSocket;

// A connection's input: bytes received and not yet parsed, already decrypted. Draining moves a consume
// offset; the bytes are compacted only once the consumed part is large, so parsing many queued messages
// costs linear time. Reads are cut to the torrent's and the global download budgets once the peer is
// past its handshake; a stream held back by a budget stops watching readability and is read again on the
// engine's 0.1 s tick. On an encrypted connection a large read is decrypted on a cipher thread and parsed
// when it comes back (small ones at once while none is out); at most kMaxDecrypting bytes are out, the
// socket unread meanwhile. Main thread only.
class PZReadStream
{
public:
    // At most this many bytes are read in one pass; the rest waits for the next readiness report.
    static constexpr qsizetype kMaxReadPerPass = 1 << 20;
    // Reads at least this long go to a cipher thread.
    static constexpr qsizetype kDecryptAsyncFrom = 16 * 1024;
    static constexpr qsizetype kMaxDecrypting = 2 << 20;

    explicit PZReadStream(PZSocket& socket);
    ~PZReadStream();
    PZReadStream(const PZReadStream&) = delete;
    PZReadStream& operator=(const PZReadStream&) = delete;

    // The unparsed bytes.
    const char* buffer() const { return m_bytes.constData() + m_head; }
    char* mutableBuffer() { return m_bytes.data() + m_head; }
    qsizetype buflen() const { return m_bytes.size() - m_head; }
    // Removes the first n bytes when at least n are buffered; otherwise does nothing.
    void drainBufferBy(qsizetype n);

    // Decrypts every later byte; with `decryptBufferedFrom` >= 0 also the bytes already buffered from that
    // offset on (the handshake of an encrypted connection switches in the middle of its input).
    void setCipher(std::unique_ptr<StreamCipher> cipher, qsizetype decryptBufferedFrom = -1);

    // Reads what the socket holds within the budgets, then has the peer parse.
    void readBytes();
    // The 0.1 s tick: a stream held back by a budget reads again.
    void streamUpdate();
    // End of the connection: reads whatever is left (budgets are consumed but do not hold it back), parses.
    void readToEnd();
    // The socket is closing: the stream reads nothing more and leaves the tick's list.
    void closeStream();

    // Some readable bytes were left in the socket because of a budget.
    bool isThrottled() const { return m_throttled; }
    // Received bytes out for decryption.
    qsizetype bytesDecrypting() const { return m_decryptor ? m_decryptor->inFlight() : 0; }
    bool isDecrypting() const { return bytesDecrypting() > 0; }
    // As many bytes are out for decryption as may be: the socket is not read until some come back.
    bool decryptionIsFull() const { return bytesDecrypting() >= kMaxDecrypting; }

    // Every open stream, served on each 0.1 s tick in a rotation starting at a random position.
    static void updateAllStreams();
    static qsizetype streamCount();

private:
    // recv(2) without interruptions.
    qsizetype receive(char* into, qsizetype want);
    // Reads up to `want` bytes into the end of the buffer; the count read, 0 at end of file, -1 on error
    // (errno set).
    qsizetype readIntoBuffer(qsizetype want);
    // Reads up to `want` bytes into a chunk for the cipher thread; as readIntoBuffer.
    qsizetype readForDecryption(qsizetype want);
    void decrypted(QByteArray chunk);
    void countDownloaded(qsizetype n);
    void parse();

    PZSocket& m_socket;
    QByteArray m_bytes;
    qsizetype m_head = 0;
    std::unique_ptr<ReadDecryptor> m_decryptor;
    bool m_throttled = false;
    bool m_listed = true;
};

}  // namespace ombrelay
