#include "NetTestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

using namespace test;

// Large encrypted input is decrypted on a cipher thread: it must still reach the parser whole, in order,
// with no more bytes out for decryption than the bound, and before the end of the connection is reported.
class PZReadStreamDecryptionTest : public ConnectedPeerTest
{
protected:
    class BoundWatchingPeer : public RecordingPeer
    {
    public:
        using RecordingPeer::RecordingPeer;
        void processReadStreamBuffer() override
        {
            mostDecrypting = std::max(mostDecrypting, socket->readStream().bytesDecrypting());
            RecordingPeer::processReadStreamBuffer();
        }
        qsizetype mostDecrypting = 0;
    };

    void SetUp() override
    {
        resetGlobalBudgets();
        std::tie(engineFd, remoteFd) = loopbackPair();
        ASSERT_GE(engineFd, 0);
        watcher = new BoundWatchingPeer(engineFd);
        peer.reset(watcher);
        ASSERT_TRUE(peer->open());
        peer->socket->readStream().setCipher(std::make_unique<CountingCipher>());
    }

    // Sends `sizes` bytes one write after another, encrypted in order, serving the engine's events
    // meanwhile; answers the plain text.
    QByteArray sendEncrypted(const std::vector<qsizetype>& sizes)
    {
        QByteArray plain;
        for (size_t i = 0; i < sizes.size(); ++i)
            plain += seededRandomBytes(sizes[i], quint32(i + 1));
        QByteArray wire = plain;
        CountingCipher().apply(wire.data(), wire.size());
        qsizetype sent = 0;
        QElapsedTimer timer;
        timer.start();
        while (sent < wire.size() && timer.elapsed() < 20000) {
            const ssize_t n = ::send(remoteFd, wire.constData() + sent, size_t(wire.size() - sent), MSG_DONTWAIT);
            if (n > 0)
                sent += n;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        EXPECT_EQ(sent, wire.size());
        return plain;
    }

    BoundWatchingPeer* watcher = nullptr;
};

TEST_F(PZReadStreamDecryptionTest, InputOfEverySizeIsParsedWholeAndInOrder)
{
    const QByteArray plain = sendEncrypted({5, 16 * 1024, 3, 1 << 20, 70, 3 << 20, 1, 200000, 2 << 20, 9});
    QTRY_COMPARE_WITH_TIMEOUT(peer->received.size(), plain.size(), 20000);
    EXPECT_EQ(peer->received, plain);
    EXPECT_GT(watcher->mostDecrypting, 0) << "no read went to the cipher thread";
    EXPECT_LE(watcher->mostDecrypting, PZReadStream::kMaxDecrypting);
    EXPECT_FALSE(peer->socket->readStream().isDecrypting());
}

TEST_F(PZReadStreamDecryptionTest, AConnectionClosedWhileDecryptingIsParsedToItsEndBeforeThePeerEnds)
{
    // Written before the engine reads any of it, so the end of file is seen with chunks still out.
    QByteArray plain = seededRandomBytes(1 << 20, 77);
    QByteArray wire = plain;
    CountingCipher().apply(wire.data(), wire.size());
    qsizetype sent = 0;
    for (int i = 0; i < 1000 && sent < wire.size(); ++i) {
        const ssize_t n = ::send(remoteFd, wire.constData() + sent, size_t(wire.size() - sent), MSG_DONTWAIT);
        if (n > 0)
            sent += n;
        else
            break;  // the socket buffers are full: the rest stays unsent
    }
    ASSERT_GT(sent, PZReadStream::kDecryptAsyncFrom);
    plain.truncate(sent);
    ::close(remoteFd);
    remoteFd = -1;
    QTRY_COMPARE_WITH_TIMEOUT(peer->terminations, 1, 20000);
    EXPECT_EQ(peer->receivedAtTermination, plain.size());
    EXPECT_EQ(peer->received, plain);
}

}  // namespace
}  // namespace ombrelay
