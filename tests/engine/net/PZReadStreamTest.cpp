#include "NetTestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

using namespace test;

class PZReadStreamTest : public ConnectedPeerTest
{
protected:
    void send(const QByteArray& bytes) { ASSERT_EQ(::send(remoteFd, bytes.constData(), bytes.size(), 0), bytes.size()); }
};

TEST_F(PZReadStreamTest, EndOfFileParsesWhatIsPendingBeforeEndingThePeer)
{
    const QByteArray bytes(30000, 'e');
    send(bytes);
    ::close(remoteFd);
    remoteFd = -1;
    QTRY_COMPARE_WITH_TIMEOUT(peer->terminations, 1, 2000);
    EXPECT_EQ(peer->receivedAtTermination, bytes.size());
    EXPECT_EQ(peer->received, bytes);
}

TEST_F(PZReadStreamTest, ReadsAreCutToTheDownloadBudgets)
{
    struct Case
    {
        const char* name;
        qint32 globalRate;
        qint64 torrentLimit;
        bool streaming;
        qsizetype firstRead;
    };
    const Case cases[] = {
        {"global 50000 B/s", 50000, 0, true, 5000},
        {"torrent 20 kB/s under global 50000 B/s", 50000, 20, true, 2000},
        {"exempt torrent", 50000, -1, true, 20000},
        {"handshake is never limited", 50000, 20, false, 20000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [engine, remote] = loopbackPair();
        RecordingPeer reader(engine);
        BandwidthProvision torrent;
        torrent.setCustomLimit(c.torrentLimit);
        reader.download = &torrent;
        reader.streaming = c.streaming;
        BandwidthProvision& global = BandwidthProvision::globalDownloadProvision();
        global.setIsEnabled(true);
        global.setBytesPerSecond(c.globalRate);
        global.bandwidthProvisionUpdate();
        ASSERT_TRUE(reader.open());

        const QByteArray bytes(20000, 'r');
        ASSERT_EQ(::send(remote, bytes.constData(), bytes.size(), 0), bytes.size());
        QTRY_VERIFY_WITH_TIMEOUT(!reader.received.isEmpty(), 2000);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(reader.received.size(), c.firstRead);
        // Held back bytes arrive on later ticks, never more than a tick allows.
        for (int t = 0; t < 20 && reader.received.size() < bytes.size(); ++t) {
            const qsizetype before = reader.received.size();
            BandwidthProvision::updateAll();
            PZReadStream::updateAllStreams();
            EXPECT_LE(reader.received.size() - before, c.firstRead);
        }
        EXPECT_EQ(reader.received, bytes);
        ::close(remote);
        resetGlobalBudgets();
    }
}

TEST_F(PZReadStreamTest, CipherDecryptsBufferedBytesFromTheSwitchAndEverythingAfter)
{
    peer->streaming = false;
    QByteArray tail("encrypted part");
    QByteArray more("and more");
    CountingCipher encrypt;
    QByteArray wire = tail + more;
    encrypt.apply(wire.data(), wire.size());

    // A parser that keeps the bytes, as a handshake does until it finds its marker.
    class KeepingPeer : public RecordingPeer
    {
    public:
        using RecordingPeer::RecordingPeer;
        void processReadStreamBuffer() override { ++parses; }
    };
    auto [engine, remote] = loopbackPair();
    KeepingPeer keeper(engine);
    ASSERT_TRUE(keeper.open());
    const QByteArray first = QByteArray("clear") + wire.left(tail.size());
    ASSERT_EQ(::send(remote, first.constData(), first.size(), 0), first.size());
    QTRY_COMPARE_WITH_TIMEOUT(keeper.socket->readStream().buflen(), first.size(), 2000);
    keeper.socket->readStream().setCipher(std::make_unique<CountingCipher>(), 5);
    ASSERT_EQ(::send(remote, wire.constData() + tail.size(), more.size(), 0), more.size());
    const qsizetype total = first.size() + more.size();
    QTRY_COMPARE_WITH_TIMEOUT(keeper.socket->readStream().buflen(), total, 2000);
    const PZReadStream& in = keeper.socket->readStream();
    EXPECT_EQ(QByteArray(in.buffer(), in.buflen()), QByteArray("clear") + tail + more);
    ::close(remote);
}

// More than one pass may read and no budget is in force: readiness alone must carry it all, whole and in
// order through a parser that drains record by record.
TEST_F(PZReadStreamTest, InputBeyondOnePassIsDrainedInOrderWithoutWaitingForATick)
{
    class MessageParser : public RecordingPeer
    {
    public:
        using RecordingPeer::RecordingPeer;
        // Takes 4-byte records one by one, as the wire parser takes messages.
        void processReadStreamBuffer() override
        {
            PZReadStream& in = socket->readStream();
            in.drainBufferBy(in.buflen() + 1);  // more than is buffered: nothing happens
            while (in.buflen() >= 4) {
                received.append(in.buffer(), 4);
                in.drainBufferBy(4);
            }
        }
    };
    auto [engine, remote] = loopbackPair();
    MessageParser parser(engine);
    ASSERT_TRUE(parser.open());
    QByteArray bytes(8 * PZReadStream::kMaxReadPerPass, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char('0' + i % 10);
    qsizetype sent = 0;
    QElapsedTimer timer;
    timer.start();
    while (parser.received.size() < bytes.size() && timer.elapsed() < 10000) {
        if (sent < bytes.size()) {
            const ssize_t n = ::send(remote, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_DONTWAIT);
            if (n > 0)
                sent += n;
        }
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(parser.received == bytes);
    EXPECT_EQ(parser.socket->readStream().buflen(), 0);
    EXPECT_FALSE(parser.socket->readStream().isThrottled());
    ::close(remote);
}

}  // namespace
}  // namespace ombrelay
