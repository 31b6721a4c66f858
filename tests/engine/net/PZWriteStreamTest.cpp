#include "NetTestSupport.h"

#include "engine/net/PZWriteStreamDispatcher.h"

#include <QTest>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

using namespace test;

class PZWriteStreamTest : public ConnectedPeerTest
{
protected:
    // One 0.1 s tick's worth of writing, without handing out readiness in between.
    static void tick()
    {
        BandwidthProvision::updateAll();
        PZWriteStreamDispatcher::instance().flushStreams();
    }
};

TEST_F(PZWriteStreamTest, PieceGoesOutInChunksAndHighPriorityWaitsForItsEnd)
{
    const QByteArray piece = pieceMessage(3, 16384, 'a');
    ASSERT_EQ(piece.size(), 16397);
    const QByteArray have("\0\0\0\x05\x04\0\0\0\x03", 9);

    PZWriteStream& out = peer->socket->writeStream();
    out.writeLowPriorityMessage(piece);
    out.writeHighPriorityMessage(have);
    EXPECT_EQ(out.pendingHighPriorityCount(), 1);

    QByteArray seen = receive(remoteFd, 4096);
    EXPECT_EQ(seen.size(), 4096);
    EXPECT_TRUE(receiveAvailable(remoteFd).isEmpty());
    for (int pass = 0; pass < 3; ++pass) {
        tick();
        const QByteArray chunk = receive(remoteFd, 4096);
        EXPECT_EQ(chunk.size(), 4096) << "pass " << pass;
        EXPECT_TRUE(receiveAvailable(remoteFd).isEmpty());
        seen += chunk;
    }
    EXPECT_TRUE(out.hasPartiallyWrittenPiece());
    EXPECT_EQ(out.pendingHighPriorityCount(), 1);
    tick();
    seen += receive(remoteFd, 13 + have.size());
    EXPECT_EQ(seen, piece + have);
    EXPECT_FALSE(out.hasPartiallyWrittenPiece());
    EXPECT_EQ(peer->uploaded, 16384u);
}

TEST_F(PZWriteStreamTest, QueuedPiecesNeverInterleave)
{
    struct Case
    {
        const char* name;
        qint32 globalRate;  // 0: no global limit
        qint64 torrentLimit;
    };
    const Case cases[] = {
        {"unlimited", 0, 0},
        {"global 50000 B/s", 50000, 0},
        {"torrent 7 kB/s", 0, 7},
        {"exempt torrent under an exhausted global budget", 10, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [engine, remote] = loopbackPair();
        RecordingPeer sender(engine);
        BandwidthProvision torrent;
        torrent.setCustomLimit(c.torrentLimit);
        sender.upload = &torrent;
        BandwidthProvision& global = BandwidthProvision::globalUploadProvision();
        global.setIsEnabled(c.globalRate > 0);
        global.setBytesPerSecond(c.globalRate);
        ASSERT_TRUE(sender.open());

        const QByteArray first = pieceMessage(1, 16384, 'x');
        const QByteArray second = pieceMessage(2, 16384, 'y');
        const QByteArray unchoke("\0\0\0\x01\x01", 5);
        sender.socket->writeStream().writeLowPriorityMessage(first);
        sender.socket->writeStream().writeLowPriorityMessage(unchoke);
        sender.socket->writeStream().writeLowPriorityMessage(second);
        const QByteArray expected = first + unchoke + second;

        QByteArray seen;
        for (int round = 0; round < 200 && seen.size() < expected.size(); ++round) {
            tick();
            QCoreApplication::processEvents();
            seen += receiveAvailable(remote);
        }
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(sender.uploaded, 2u * 16384u);
        if (c.torrentLimit < 0) {
            EXPECT_LT(global.bytesAvailableForConsumption(), 0) << "exempt bytes still count globally";
        }
        ::close(remote);
        resetGlobalBudgets();
    }
}

TEST_F(PZWriteStreamTest, TinySendBufferAndPausedReaderLoseNoByte)
{
    auto [engine, remote] = loopbackPair();
    const int sendBuffer = 4096;  // the kernel's minimum
    const int receiveBuffer = 32768;
    ::setsockopt(engine, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    ::setsockopt(remote, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    RecordingPeer sender(engine);
    ASSERT_TRUE(sender.open());
    PZWriteStream& out = sender.socket->writeStream();
    out.setCipher(std::make_unique<CountingCipher>());

    QByteArray pieces;
    QByteArray haves;
    for (quint32 i = 0; i < 24; ++i) {
        const QByteArray piece = pieceMessage(i, 16384, char('A' + i));
        const QByteArray have = QByteArray("\0\0\0\x05\x04\0\0\0", 8) + char(i);
        out.writeLowPriorityMessage(piece);
        out.writeHighPriorityMessage(have);
        pieces += piece;
        haves += have;
    }
    // The reader is paused: the socket fills and writes come back short.
    for (int round = 0; round < 20; ++round) {
        tick();
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(out.unsentBytes() > 0 || out.hasQueuedLowPriority()) << "the socket never filled";

    const qsizetype total = pieces.size() + haves.size();
    QByteArray seen;
    QElapsedTimer timer;
    timer.start();
    while (seen.size() < total && timer.elapsed() < 10000) {
        tick();
        QCoreApplication::processEvents();
        seen += receiveAvailable(remote, 0);
    }
    ASSERT_EQ(seen.size(), total);
    CountingCipher decrypt;
    decrypt.apply(seen.data(), seen.size());
    // Haves may overtake pieces that had not started, but every message arrives whole and in its order.
    QByteArray seenPieces;
    QByteArray seenHaves;
    for (qsizetype at = 0; at + 4 <= seen.size();) {
        const qsizetype length = qsizetype(quint8(seen[at]) << 24 | quint8(seen[at + 1]) << 16
                                           | quint8(seen[at + 2]) << 8 | quint8(seen[at + 3]));
        ASSERT_TRUE(length == 5 || length == 16393) << "garbled at byte " << at;
        (length == 5 ? seenHaves : seenPieces) += seen.mid(at, 4 + length);
        at += 4 + length;
    }
    EXPECT_TRUE(seenPieces == pieces);
    EXPECT_EQ(seenHaves, haves);
    EXPECT_EQ(sender.terminations, 0);
    ::close(remote);
}

TEST_F(PZWriteStreamTest, WriteErrorOtherThanWouldBlockEndsThePeer)
{
    const linger reset{1, 0};
    ::setsockopt(remoteFd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(remoteFd);
    remoteFd = -1;
    ASSERT_TRUE(waitReadable(engineFd)) << "the reset reached the engine side";
    // Writing into a reset connection fails with ECONNRESET or EPIPE, never with SIGPIPE.
    peer->socket->writeStream().writeHighPriorityMessage(QByteArray(100, 'z'));
    peer->socket->writeStream().writeHighPriorityMessage(QByteArray(100, 'z'));
    QTRY_COMPARE_WITH_TIMEOUT(peer->terminations, 1, 2000);
    EXPECT_TRUE(peer->socket->isClosed());
}

TEST_F(PZWriteStreamTest, IdleConnectionIsNotWatchedForWritability)
{
    EXPECT_EQ(SocketReactor::instance().processEvents(), 0);
    peer->socket->writeStream().writeHighPriorityMessage(QByteArray(64, 'q'));
    EXPECT_EQ(receive(remoteFd, 64).size(), 64);
    EXPECT_EQ(SocketReactor::instance().processEvents(), 0) << "an always-on write interest spins";
}

TEST_F(PZWriteStreamTest, HandshakeWaitsForTheConnectionAndEncryptsOnlyWhenAsked)
{
    // A connection still being established keeps its messages until the first writable event.
    quint16 port = 0;
    const int listener = loopbackListener(port);
    ASSERT_GE(listener, 0);
    const int fd = PZSocket::connectTo(htonl(INADDR_LOOPBACK), port);
    ASSERT_GE(fd, 0);
    RecordingPeer dialer(fd);
    dialer.socket->writeStream().setCipher(std::make_unique<CountingCipher>());
    dialer.socket->writeStream().writeHandshakingMessage("plain", false);
    dialer.socket->writeStream().writeHandshakingMessage("secret", true);
    EXPECT_EQ(dialer.socket->writeStream().pendingHighPriorityCount(), dialer.socket->isOpen() ? 0 : 2);
    ASSERT_TRUE(dialer.open());
    pollfd pending{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&pending, 1, 2000), 1);
    const int remote = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    QByteArray seen = receive(remote, 11);
    ASSERT_EQ(seen.size(), 11);
    EXPECT_EQ(seen.left(5), "plain");
    QByteArray secret = seen.mid(5);
    CountingCipher decrypt;
    decrypt.apply(secret.data(), secret.size());
    EXPECT_EQ(secret, "secret");
    ::close(remote);
}

}  // namespace
}  // namespace ombrelay
