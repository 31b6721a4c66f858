#include "engine/wire/PeerWireTestSupport.h"

#include <QtEndian>
#include <gtest/gtest.h>
#include <set>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr quint32 kPieceLength = 131072; // eight blocks

using Block = std::pair<quint32, quint32>;

// The blocks named by the request (or cancel) messages among `messages`.
std::set<Block> blocksOf(const QList<QByteArray>& messages, quint8 id)
{
    std::set<Block> blocks;
    for (const QByteArray& m : messages)
        if (m.size() == 17 && quint8(m[4]) == id)
            blocks.insert(
                {qFromBigEndian<quint32>(m.constData() + 5), qFromBigEndian<quint32>(m.constData() + 9)});
    return blocks;
}

// Two connections of one torrent, each to a scripted peer that has every piece.
class PeerWireSpreadTest : public PeerWireFixture
{
protected:
    struct Link
    {
        std::unique_ptr<PeerWire> wire;
        std::unique_ptr<ScriptedPeer> remote;
        int listener = -1;
    };

    void TearDown() override
    {
        for (Link& link : links) {
            link.wire.reset();
            link.remote.reset();
            if (link.listener >= 0)
                ::close(link.listener);
        }
        links.clear();
        PeerWireFixture::TearDown();
    }
    Link& connectPeer()
    {
        Link& link = links.emplace_back();
        quint16 port = 0;
        link.listener = loopbackListener(port);
        link.wire = PeerWire::connectTo(*torrent, INADDR_LOOPBACK, port, 0, PeerWire::HandshakeMode::Plain);
        link.remote = acceptScripted(link.listener);
        EXPECT_TRUE(link.remote);
        if (!link.remote)
            return link;
        link.remote->take(PeerHandshake::kSize);
        link.remote->write(
            remoteHandshake(0x05, kWireInfoHash, QByteArray(19, 'R') + char('0' + links.size())));
        EXPECT_TRUE(pumpUntil([&] { return link.wire->isStreamingMessages(); }));
        link.remote->messagesWithin(50); // extension handshake, port, have none
        link.remote->write(PeerMessage::simple(PeerMessage::HaveAll) +
                           PeerMessage::simple(PeerMessage::Unchoke));
        return link;
    }
    // Answers every request within `ms` with its block, up to `limit` blocks; answers how many.
    int answer(Link& link, int limit, int ms = 30)
    {
        QByteArray answers;
        int count = 0;
        for (const Block& b : blocksOf(link.remote->messagesWithin(ms), PeerMessage::Request)) {
            if (count == limit)
                break;
            ++count;
            answers += PeerMessage::piece(
                b.first, b.second, torrent->content.mid(qsizetype(b.first) * kPieceLength + b.second, 16384));
        }
        link.remote->write(answers);
        return count;
    }

    // The messages the peer is sent until `count` of them are of `kind`.
    static QList<QByteArray> until(Link& link, quint8 kind, size_t count)
    {
        return link.remote->messagesUntil(
            [&](const QList<QByteArray>& sent) { return blocksOf(sent, kind).size() >= count; });
    }

    std::vector<Link> links;
};

// A block in flight with one peer is asked of another only when every missing block is in flight
// somewhere (the end of the download); a cancel then takes it back from the slower one.
TEST_F(PeerWireSpreadTest, BlocksInFlightAreAskedOfASecondPeerOnlyAtTheEnd)
{
    struct Case
    {
        const char* name;
        bool endGame; // the second half of the one piece needed arrived already
    };
    const Case cases[] = {
        {"half the piece in flight: the second peer asks for the other half", false},
        {"all that is missing in flight: the second peer asks for it too", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeTorrent(8 * kPieceLength, kPieceLength);
        torrent->sharedRequests = std::make_shared<RequestedBlocks>();
        torrent->needed = QBitArray(8);
        torrent->needed.setBit(0);
        for (quint32 offset = kPieceLength / 2; c.endGame && offset < kPieceLength; offset += 16384)
            torrent->arrived.append({0, offset, 16384});
        links.reserve(2);
        Link& first = connectPeer();
        ASSERT_TRUE(first.remote);
        const std::set<Block> firstAsked = blocksOf(until(first, PeerMessage::Request, PeerWire::kMinRequestQueue), PeerMessage::Request);
        ASSERT_EQ(int(firstAsked.size()), PeerWire::kMinRequestQueue);
        Link& second = connectPeer();
        ASSERT_TRUE(second.remote);
        const std::set<Block> secondAsked =
            blocksOf(until(second, PeerMessage::Request, PeerWire::kMinRequestQueue), PeerMessage::Request);
        ASSERT_EQ(int(secondAsked.size()), PeerWire::kMinRequestQueue);
        if (c.endGame) {
            EXPECT_EQ(secondAsked, firstAsked);
            const Block brought = *firstAsked.begin();
            second.wire->cancelBlock(brought.first, brought.second);
            EXPECT_EQ(blocksOf(until(second, PeerMessage::Cancel, 1), PeerMessage::Cancel),
                      std::set<Block>{brought});
            EXPECT_EQ(second.wire->pendingRequestCount(), PeerWire::kMinRequestQueue - 1);
        } else {
            std::set<Block> both;
            std::set_intersection(firstAsked.begin(), firstAsked.end(), secondAsked.begin(),
                                  secondAsked.end(), std::inserter(both, both.end()));
            EXPECT_TRUE(both.empty());
        }
        TearDown();
    }
}

// The queue grows by a block for each block that arrives, and once a second comes down to what the
// peer brought in kRequestQueueMs (never below kMinRequestQueue).
TEST_F(PeerWireSpreadTest, TheQueueFollowsWhatThePeerDelivers)
{
    struct Case
    {
        const char* name;
        qint64 tickAtMs; // since the connection began
        int depthAfter;
    };
    constexpr int kDelivered = 40;
    const Case cases[] = {
        {"fast: 40 blocks in a second keep the queue", 1000, PeerWire::kMinRequestQueue + kDelivered},
        {"slow: 40 blocks in 20 s leave 2 s worth", 20'000, kDelivered * 2 / 20 + 1},
        {"stalled: never below the least queue", 100'000, PeerWire::kMinRequestQueue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeTorrent(64 * kPieceLength, kPieceLength);
        links.reserve(1);
        Link& link = connectPeer();
        ASSERT_TRUE(link.remote);
        int delivered = 0;
        for (int round = 0; round < 100 && delivered < kDelivered; ++round)
            delivered += answer(link, kDelivered - delivered);
        ASSERT_TRUE(pumpUntil([&] { return torrent->arrived.size() == kDelivered; }));
        EXPECT_EQ(link.wire->requestQueueDepth(), PeerWire::kMinRequestQueue + kDelivered);
        link.wire->tick(c.tickAtMs);
        EXPECT_EQ(link.wire->requestQueueDepth(), c.depthAfter);
        TearDown();
    }
}

} // namespace
