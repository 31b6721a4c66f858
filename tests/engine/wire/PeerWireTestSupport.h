#pragma once

// A torrent faked in memory over a file in a temporary folder, and a scripted remote peer on a plain
// loopback descriptor, for the peer wire tests.
#include "engine/net/NetTestSupport.h"
#include "engine/net/PZWriteStreamDispatcher.h"
#include "engine/wire/PeerMessage.h"
#include "engine/wire/PeerTorrent.h"
#include "engine/wire/PeerWire.h"
#include "support/RandomContent.h"

#include <QBitArray>
#include <algorithm>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace ombrelay::test {

inline const QByteArray kWireInfoHash("ABCDEFGHIJ0123456789");

// An incoming connection names `infoHash` by `hash`, in the form `key` says.
inline bool namesTorrent(const QByteArray& hash, PeerWire::TorrentKey key, const QByteArray& infoHash)
{
    return hash == (key == PeerWire::TorrentKey::InfoHash ? infoHash : MseHandshake::obfuscatedInfoHash(infoHash));
}

class FakeTorrent : public PeerTorrent
{
public:
    FakeTorrent(quint64 total, quint32 pieceLength, const QString& path)
        : m_total(total), m_pieceLength(pieceLength), file(path)
    {
        const quint32 count = quint32((total + pieceLength - 1) / pieceLength);
        verified = QBitArray(int(count));
        needed = QBitArray(int(count), true);
        content = seededRandomBytes(qint64(total), 5);
        file.open(QIODevice::ReadWrite | QIODevice::Truncate);
        file.write(QByteArray(qsizetype(total), '\0'));
        file.flush();
    }
    // Marks pieces verified and puts their bytes on disk.
    void verify(quint32 piece)
    {
        verified.setBit(int(piece));
        needed.clearBit(int(piece));
        const quint64 start = quint64(piece) * m_pieceLength;
        file.seek(qint64(start));
        file.write(content.mid(qsizetype(start), pieceSize(piece)));
        file.flush();
    }
    QByteArray disk()
    {
        file.seek(0);
        return file.readAll();
    }
    QByteArray verifiedBytes()
    {
        const QByteArray all = disk();
        QByteArray out;
        for (quint32 p = 0; p < pieceCount(); ++p)
            if (verified.testBit(int(p)))
                out += all.mid(qsizetype(quint64(p) * m_pieceLength), pieceSize(p));
        return out;
    }

    QByteArray infoHash() const override { return kWireInfoHash; }
    QByteArray peerId() const override { return PeerWire::localPeerId(); }
    quint16 publicPort() const override { return 6881; }
    quint32 pieceCount() const override { return quint32(verified.size()); }
    quint32 pieceLength() const override { return m_pieceLength; }
    quint64 totalLength() const override { return m_total; }
    bool isPieceVerified(quint32 piece) const override { return verified.testBit(int(piece)); }
    bool isPieceNeeded(quint32 piece) const override { return needed.testBit(int(piece)); }
    bool hasBlock(quint32 piece, quint32 offset) const override
    {
        return std::any_of(arrived.begin(), arrived.end(),
                           [&](const Arrival& a) { return a.piece == piece && a.offset == offset; });
    }
    bool isSeeding() const override { return verified.count(true) == verified.size(); }
    bool uploadLimitIsZero() const override { return false; }
    bool isPeerIdConnected(const QByteArray& id, const PeerWire*) const override { return connectedIds.contains(id); }
    void blockArrived(PeerWire&, quint32 piece, quint32 offset, const QByteArray& data) override
    {
        arrived.append({piece, offset, data.size()});
        file.seek(qint64(quint64(piece) * m_pieceLength + offset));
        file.write(data);
        file.flush();
    }
    void readBlock(quint32 piece, quint32 offset, quint32 length, ReadCallback done) override
    {
        const QByteArray bytes = content.mid(qsizetype(quint64(piece) * m_pieceLength + offset), length);
        if (holdReads)
            heldReads.push_back([done, bytes] { done(bytes); });
        else
            done(bytes);
    }
    std::shared_ptr<RequestedBlocks> requestedBlocks() override { return sharedRequests; }
    void peersExchanged(PeerWire&, const QByteArray& added) override { exchanged.append(added); }
    void pingDhtNode(quint32 address, quint16 port) override { pinged.append({address, port}); }
    BandwidthProvision* downloadProvision() override { return nullptr; }
    BandwidthProvision* uploadProvision() override { return nullptr; }

    struct Arrival
    {
        quint32 piece, offset;
        qsizetype length;
    };
    QBitArray verified, needed;
    QByteArray content;
    QList<QByteArray> connectedIds;
    QList<Arrival> arrived;
    QList<QByteArray> exchanged;
    QList<std::pair<quint32, quint16>> pinged;  // host-order address, port
    // Requests in flight over the torrent's wires; null: each wire counts its own.
    std::shared_ptr<RequestedBlocks> sharedRequests;
    bool holdReads = false;
    std::vector<std::function<void()>> heldReads;

private:
    quint64 m_total;
    quint32 m_pieceLength;
    QFile file;
};

inline void pumpOnce()
{
    SocketReactor::instance().processEvents();
    PZWriteStreamDispatcher::instance().flushStreams();
    QCoreApplication::processEvents();
}

// Runs the engine's loop until `done` holds or `timeoutMs` passed.
template <typename Predicate>
bool pumpUntil(Predicate done, int timeoutMs = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        pumpOnce();
        ::usleep(500);
    }
    return true;
}

// The remote side of a connection: a plain descriptor the test writes to and reads from while the
// engine's loop runs.
class ScriptedPeer
{
public:
    explicit ScriptedPeer(int fd) : fd(fd) {}
    ~ScriptedPeer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    void write(const QByteArray& bytes)
    {
        qsizetype sent = 0;
        for (int i = 0; i < 2000 && sent < bytes.size(); ++i) {
            const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                sent += n;
            else if (n < 0 && errno != EAGAIN)
                return;
            pumpOnce();
        }
    }
    // Reads until `count` bytes are buffered; false on time-out or end of the connection.
    bool fill(qsizetype count, int timeoutMs = 3000)
    {
        return pumpUntil([&] { return readSome() && buffered.size() >= count; }, timeoutMs) || buffered.size() >= count;
    }
    QByteArray take(qsizetype count)
    {
        fill(count);
        const QByteArray out = buffered.left(count);
        buffered.remove(0, out.size());
        return out;
    }
    // The next whole message (length prefix included), or empty on time-out.
    QByteArray message(int timeoutMs = 3000)
    {
        if (!fill(4, timeoutMs))
            return {};
        const quint32 length = qFromBigEndian<quint32>(buffered.constData());
        if (!fill(qsizetype(length) + 4, timeoutMs))
            return {};
        return take(qsizetype(length) + 4);
    }
    // Every whole message the engine sent within `ms`.
    QList<QByteArray> messagesWithin(int ms)
    {
        QList<QByteArray> out;
        pumpUntil([] { return false; }, ms);
        takeWholeMessages(out);
        return out;
    }
    // Whole messages as the engine sends them, until `enough` holds for those taken or `timeoutMs` passed.
    template <typename Enough>
    QList<QByteArray> messagesUntil(Enough enough, int timeoutMs = 5000)
    {
        QList<QByteArray> out;
        pumpUntil([&] {
            takeWholeMessages(out);
            return enough(std::as_const(out));
        }, timeoutMs);
        return out;
    }
    void takeWholeMessages(QList<QByteArray>& out)
    {
        readSome();
        while (buffered.size() >= 4) {
            const quint32 length = qFromBigEndian<quint32>(buffered.constData());
            if (buffered.size() < qsizetype(length) + 4)
                break;
            out.append(take(qsizetype(length) + 4));
        }
    }
    // Reads what is there; false once the engine closed the connection.
    bool readSome()
    {
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                buffered.append(chunk, n);
                continue;
            }
            if (n == 0)
                closed = true;
            return true;
        }
    }
    bool closedByEngine(int timeoutMs = 3000)
    {
        return pumpUntil([&] { readSome(); return closed; }, timeoutMs);
    }

    int fd;
    QByteArray buffered;
    bool closed = false;
};

// The next connection on `listener`, as a scripted remote; null when none comes in time.
inline std::unique_ptr<ScriptedPeer> acceptScripted(int listener, int timeoutMs = 3000)
{
    int fd = -1;
    if (!pumpUntil([&] { return (fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0; },
                   timeoutMs))
        return nullptr;
    return std::make_unique<ScriptedPeer>(fd);
}

// A peer wire over a fake torrent, its remote end scripted on loopback: dialled by the wire, or accepted.
class PeerWireFixture : public ::testing::Test
{
protected:
    void makeTorrent(quint64 total, quint32 pieceLength)
    {
        resetGlobalBudgets();
        ASSERT_TRUE(folder.isValid());
        torrent = std::make_unique<FakeTorrent>(total, pieceLength, folder.filePath("data"));
    }
    void TearDown() override
    {
        wire.reset();
        remote.reset();
        if (listener >= 0)
            ::close(listener);
        listener = -1;
        endings = 0;
        pumpOnce();
    }
    // The wire dials a listener of ours; acceptNext() takes its connections.
    void dial(PeerWire::HandshakeMode mode)
    {
        quint16 port = 0;
        listener = loopbackListener(port);
        ASSERT_GE(listener, 0);
        wire = PeerWire::connectTo(*torrent, INADDR_LOOPBACK, port, 0, mode);
        ASSERT_NE(wire, nullptr);
        wire->setEndedHandler([this](PeerWire&) { ++endings; });
    }
    bool acceptNext(int timeoutMs = 3000)
    {
        remote = acceptScripted(listener, timeoutMs);
        return remote != nullptr;
    }
    // The wire takes an incoming connection; it attaches to the torrent when `known`.
    void adopt(bool known = true)
    {
        auto [remoteFd, engineFd] = loopbackPair();
        ASSERT_GE(engineFd, 0);
        remote = std::make_unique<ScriptedPeer>(remoteFd);
        wire = PeerWire::adoptIncoming(engineFd, INADDR_LOOPBACK, 40000, [this, known](const QByteArray& hash, PeerWire::TorrentKey key) {
            return known && namesTorrent(hash, key, kWireInfoHash) ? torrent.get() : nullptr;
        }, 0);
        wire->setEndedHandler([this](PeerWire&) { ++endings; });
    }
    bool ended() { return pumpUntil([&] { return endings > 0; }) && remote->closedByEngine(); }

    QTemporaryDir folder;
    std::unique_ptr<FakeTorrent> torrent;
    std::unique_ptr<PeerWire> wire;
    std::unique_ptr<ScriptedPeer> remote;
    int listener = -1;
    int endings = 0;
};

inline QByteArray remoteHandshake(char reserved7 = 0x05, const QByteArray& infoHash = kWireInfoHash,
                                  QByteArray peerId = QByteArray(20, 'R'))
{
    QByteArray bytes("\x13" "BitTorrent protocol");
    bytes += QByteArray::fromHex("0000000000100000");
    bytes[27] = reserved7;
    return bytes + infoHash + peerId;
}

}  // namespace ombrelay::test
