#include "PeerTestSupport.h"
#include "engine/peers/PeerManager.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;
using Activity = PeersDatabase::Activity;

namespace {

// Torrents with stored peers, dialled by one manager whose draw always takes the first candidate.
struct Swarm
{
    explicit Swarm(int torrents)
    {
        for (int i = 0; i < torrents; ++i)
            fixtures.push_back(std::make_unique<PeersFixture>());
    }

    void store(int torrent, int count)
    {
        QList<PeerAddress> peers;
        for (int i = 0; i < count; ++i)
            peers.append(PeerAddress{htonl(0x0A000000u + quint32(torrent) * 65536 + quint32(i)), 6881});
        fixtures[torrent]->peers->database().insertPeers(peers);
    }

    // Opens connections that stay in the connecting step (or become active).
    void connect(int torrent, int count, bool activate)
    {
        for (int i = 0; i < count; ++i) {
            auto link = std::make_shared<FakeLink>(PeerAddress{htonl(0x14000000u + quint32(i)), quint16(torrent + 1)});
            fixtures[torrent]->peers->addIncomingPeer(link);
            if (activate)
                fixtures[torrent]->peers->peerBecameActive(link.get());
            incoming.push_back(link);
        }
    }

    int dial(PeerManager::Random random = [](int) { return 0; })
    {
        PeerManager manager(
            [this] {
                QList<TorrentPeers*> torrents;
                for (const auto& fixture : fixtures)
                    torrents.append(fixture->peers.get());
                return torrents;
            },
            random);
        return manager.connectToPeers();
    }

    int dialledBy(int torrent) const { return int(fixtures[torrent]->dialled.size()); }

    std::vector<std::unique_ptr<PeersFixture>> fixtures;
    std::vector<PeerLinkPtr> incoming;
};

}  // namespace

TEST(PeerManager, DialsUntilFiftyConnectionsAreBeingOpened)
{
    Swarm swarm(2);
    swarm.store(0, 30);
    swarm.store(1, 100);
    EXPECT_EQ(swarm.dial(), 50);
    EXPECT_EQ(swarm.dialledBy(0), 30) << "the first candidate until it has no peer left";
    EXPECT_EQ(swarm.dialledBy(1), 20);
    EXPECT_EQ(swarm.dial(), 0) << "fifty are being opened";
}

TEST(PeerManager, NothingIsDialledAboveTheProcessWideLimits)
{
    struct Case
    {
        const char* name;
        int connecting;
        int active;
        int dialled;
    };
    const Case cases[] = {
        {"51 connecting", 51, 0, 0},
        {"49 connecting", 49, 0, 1},
        {"251 active", 0, 251, 0},
        {"250 active", 0, 250, 5},
    };
    for (const Case& c : cases) {
        // Each torrent holds at most 50 connections, so the load is spread over six of them.
        Swarm swarm(7);
        for (int t = 0; t < 6; ++t) {
            swarm.connect(t, std::min(50, std::max(0, c.connecting - 50 * t)), false);
            swarm.connect(t, std::min(50, std::max(0, c.active - 50 * t)), true);
        }
        swarm.store(6, 5);
        EXPECT_EQ(swarm.dial(), c.dialled) << c.name;
    }
}

TEST(PeerManager, ATorrentWithoutFreeSlotsLeavesTheDraw)
{
    Swarm swarm(2);
    swarm.connect(0, 50, true);
    swarm.store(0, 10);
    swarm.store(1, 3);
    EXPECT_EQ(swarm.dial(), 3);
    EXPECT_EQ(swarm.dialledBy(0), 0);
    EXPECT_EQ(swarm.dialledBy(1), 3);
}

TEST(PeerManager, TheDrawIsRandomOverTheCandidates)
{
    Swarm swarm(3);
    for (int t = 0; t < 3; ++t)
        swarm.store(t, 40);
    int turn = 0;
    EXPECT_EQ(swarm.dial([&turn](int bound) { return turn++ % bound; }), 50);
    EXPECT_EQ(swarm.dialledBy(0) + swarm.dialledBy(1) + swarm.dialledBy(2), 50);
    for (int t = 0; t < 3; ++t)
        EXPECT_GE(swarm.dialledBy(t), 16) << t;
}
