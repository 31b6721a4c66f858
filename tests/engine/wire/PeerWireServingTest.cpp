#include "engine/wire/PeerWireTestSupport.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr quint32 kPieceLength = 262144;
constexpr int kRequests = 160;  // 2.5 MiB of blocks, more than is read ahead

// A downloader that queues far more requests than are read ahead: no more than kServeAheadBytes of
// blocks are being read or waiting for the socket at once, and every request is still answered, whole
// and in order.
class PeerWireServingTest : public PeerWireFixture
{
protected:
    void SetUp() override
    {
        makeTorrent(12 * quint64(kPieceLength), kPieceLength);
        for (quint32 p = 0; p < 12; ++p)
            torrent->verify(p);
        dial(PeerWire::HandshakeMode::Plain);
        ASSERT_TRUE(acceptNext());
        remote->take(PeerHandshake::kSize);
        remote->write(remoteHandshake(0x05));
        ASSERT_TRUE(pumpUntil([&] { return wire->isStreamingMessages(); }));
        remote->write(PeerMessage::simple(PeerMessage::Interested));
        ASSERT_TRUE(pumpUntil([&] { return !wire->weAreChoking(); }));
        pumpUntil([] { return false; }, 50);
        remote->readSome();
        remote->buffered.clear();
    }
};

TEST_F(PeerWireServingTest, ReadsStayWithinTheReadAheadAndEveryRequestIsAnswered)
{
    torrent->holdReads = true;
    QByteArray requests;
    QByteArray expected;
    for (int i = 0; i < kRequests; ++i) {
        const quint32 piece = quint32(i % 12);
        const quint32 offset = quint32(i / 12) * 16384;
        requests += PeerMessage::blockMessage(PeerMessage::Request, piece, offset, 16384);
        expected += PeerMessage::piece(piece, offset, torrent->content.mid(qsizetype(piece) * kPieceLength + offset, 16384));
    }
    remote->write(requests);
    const size_t aheadBlocks = size_t(PeerWire::kServeAheadBytes / 16384);
    ASSERT_TRUE(pumpUntil([&] { return torrent->heldReads.size() == aheadBlocks; }));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(torrent->heldReads.size(), aheadBlocks) << "read beyond the read-ahead";

    size_t mostHeld = 0;
    for (int round = 0; round < 400 && remote->buffered.size() < expected.size(); ++round) {
        mostHeld = std::max(mostHeld, torrent->heldReads.size());
        auto reads = std::move(torrent->heldReads);
        torrent->heldReads.clear();
        for (auto& read : reads)
            read();
        remote->fill(remote->buffered.size() + 1, 200);
        remote->readSome();
    }
    EXPECT_LE(mostHeld, aheadBlocks);
    EXPECT_TRUE(remote->buffered == expected);
    EXPECT_EQ(wire->bytesUploaded(), quint64(kRequests) * 16384);
}

}  // namespace
