#include "engine/net/PZReadStream.h"

#include "engine/net/BandwidthProvision.h"
#include "engine/net/PZSocket.h"
#include "engine/net/StreamPeer.h"

#include <QPointer>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace ombrelay {
namespace {

constexpr qsizetype kCompactThreshold = 64 * 1024;
constexpr qsizetype kRetainedCapacity = 256 * 1024;

// Streams leave by having their entry cleared, so a rotation in progress never skips or repeats one;
// cleared entries are dropped at the start of the next rotation.
struct StreamList
{
    std::vector<PZReadStream*> streams;
};

StreamList& streamList()
{
    static auto* list = [] {
        auto* l = new StreamList;
        l->streams.reserve(100);
        return l;
    }();
    return *list;
}

void unlist(PZReadStream* stream)
{
    auto& streams = streamList().streams;
    std::replace(streams.begin(), streams.end(), stream, static_cast<PZReadStream*>(nullptr));
}

}  // namespace

PZReadStream::PZReadStream(PZSocket& socket) : m_socket(socket)
{
    streamList().streams.push_back(this);
}

PZReadStream::~PZReadStream()
{
    if (m_listed)
        unlist(this);
}

void PZReadStream::drainBufferBy(qsizetype n)
{
    if (n < 0 || buflen() < n)
        return;
    m_head += n;
    if (m_head == m_bytes.size()) {
        // An idle connection keeps no large buffer from an earlier burst.
        if (m_bytes.capacity() > kRetainedCapacity)
            m_bytes = QByteArray();
        else
            m_bytes.resize(0);
        m_head = 0;
    } else if (m_head >= kCompactThreshold && m_head >= m_bytes.size() / 2) {
        const qsizetype rest = m_bytes.size() - m_head;
        std::memmove(m_bytes.data(), m_bytes.constData() + m_head, size_t(rest));
        m_bytes.resize(rest);
        m_head = 0;
    }
}

void PZReadStream::setCipher(std::unique_ptr<StreamCipher> cipher, qsizetype decryptBufferedFrom)
{
    m_decryptor.reset();
    if (!cipher)
        return;
    if (decryptBufferedFrom >= 0 && decryptBufferedFrom < buflen())
        cipher->apply(mutableBuffer() + decryptBufferedFrom, buflen() - decryptBufferedFrom);
    m_decryptor = std::make_unique<ReadDecryptor>(std::move(cipher), [this](QByteArray chunk) {
        decrypted(std::move(chunk));
    });
}

qsizetype PZReadStream::receive(char* into, qsizetype want)
{
    qsizetype got;
    do {
        got = ::recv(m_socket.descriptor(), into, size_t(want), 0);
    } while (got < 0 && errno == EINTR);
    return got;
}

qsizetype PZReadStream::readIntoBuffer(qsizetype want)
{
    const qsizetype old = m_bytes.size();
    if (m_bytes.capacity() < old + want)
        m_bytes.reserve(std::max(old + want, m_bytes.capacity() * 2));
    m_bytes.resize(old + want);
    const qsizetype got = receive(m_bytes.data() + old, want);
    // The buffer keeps exactly the bytes received.
    m_bytes.resize(old + std::max<qsizetype>(got, 0));
    if (got > 0 && m_decryptor)
        m_decryptor->decryptNow(m_bytes.data() + old, got);
    return got;
}

qsizetype PZReadStream::readForDecryption(qsizetype want)
{
    QByteArray chunk(want, Qt::Uninitialized);
    const qsizetype got = receive(chunk.data(), want);
    if (got > 0) {
        chunk.resize(got);
        m_decryptor->decrypt(std::move(chunk));
    }
    return got;
}

void PZReadStream::decrypted(QByteArray chunk)
{
    if (m_socket.isClosed())
        return;
    if (buflen() == 0) {  // nothing left over: the chunk becomes the buffer, uncopied
        m_bytes = std::move(chunk);
        m_head = 0;
    } else {
        m_bytes.append(chunk);
    }
    QPointer<PZSocket> socket(&m_socket);
    parse();
    if (socket)
        socket->decryptionReturned();
}

void PZReadStream::countDownloaded(qsizetype n)
{
    StreamPeer* peer = m_socket.peer();
    if (!peer || !peer->isStreamingMessages())
        return;
    if (BandwidthProvision* torrent = peer->downloadProvision())
        torrent->consumedBytes(quint32(n));
    BandwidthProvision::globalDownloadProvision().consumedBytes(quint32(n));
}

void PZReadStream::parse()
{
    if (StreamPeer* peer = m_socket.peer())
        peer->processReadStreamBuffer();
}

void PZReadStream::readBytes()
{
    if (m_socket.isClosed())
        return;
    int readable = 0;
    if (::ioctl(m_socket.descriptor(), FIONREAD, &readable) != 0)
        readable = 0;
    qint64 want = readable;
    StreamPeer* peer = m_socket.peer();
    if (peer && peer->isStreamingMessages()) {
        BandwidthProvision* torrent = peer->downloadProvision();
        // A torrent with no limit at all (negative rate) is read without any budget.
        if (!torrent || !torrent->isExempt()) {
            if (torrent && torrent->isEnabled())
                want = std::min<qint64>(want, torrent->bytesAvailableForConsumption());
            const BandwidthProvision& global = BandwidthProvision::globalDownloadProvision();
            if (global.isEnabled())
                want = std::min<qint64>(want, global.bytesAvailableForConsumption());
        }
    }
    // Held back by a budget: readability is not watched until the next tick. Bytes left over by the
    // per-pass cap are reported again at once.
    m_throttled = want < readable;
    want = std::clamp<qint64>(want, 0, kMaxReadPerPass);
    // Bytes after those out for decryption wait for them: in order, and never more than the bound out.
    const bool async = m_decryptor && (isDecrypting() || want >= kDecryptAsyncFrom);
    if (async)
        want = std::min<qint64>(want, kMaxDecrypting - m_decryptor->inFlight());
    if (want > 0) {
        const qsizetype got = async ? readForDecryption(qsizetype(want)) : readIntoBuffer(qsizetype(want));
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            m_socket.fail();
            return;
        }
        countDownloaded(got);
    }
    QPointer<PZSocket> socket(&m_socket);
    parse();
    if (socket)
        socket->updateInterest();
}

void PZReadStream::streamUpdate()
{
    if (m_throttled && !m_socket.isClosed())
        readBytes();
}

void PZReadStream::readToEnd()
{
    if (m_socket.isClosed())
        return;
    // Bounded: a socket at its end holds no more than its receive buffer.
    for (int pass = 0; pass < 64; ++pass) {
        const qsizetype got = isDecrypting() ? readForDecryption(kMaxReadPerPass / 4)
                                             : readIntoBuffer(kMaxReadPerPass / 4);
        if (got <= 0)
            break;
        countDownloaded(got);
    }
    m_throttled = false;
    parse();
}

void PZReadStream::closeStream()
{
    m_throttled = false;
    m_decryptor.reset();
    if (m_listed) {
        unlist(this);
        m_listed = false;
    }
}

void PZReadStream::updateAllStreams()
{
    auto& streams = streamList().streams;
    streams.erase(std::remove(streams.begin(), streams.end(), nullptr), streams.end());
    const size_t count = streams.size();
    if (!count)
        return;
    const size_t start = QRandomGenerator::global()->generate() % count;
    for (size_t i = 0; i < count && i < streams.size(); ++i) {
        if (PZReadStream* stream = streams[(start + i) % streams.size()])
            stream->streamUpdate();
    }
}

qsizetype PZReadStream::streamCount()
{
    const auto& streams = streamList().streams;
    return std::count_if(streams.begin(), streams.end(), [](PZReadStream* s) { return s != nullptr; });
}

}  // namespace ombrelay
