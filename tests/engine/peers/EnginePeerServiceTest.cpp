// The engine's peer service over a real torrent line and its storage: a scripted peer connects on
// loopback and asks for a verified block, under the upload limits of the settings and of the torrent.
#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/peers/EnginePeerService.h"
#include "engine/peers/TorrentSwarm.h"
#include "engine/wire/PeerWireTestSupport.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QByteArray kInterested = QByteArray::fromHex("0000000102");
const QByteArray kUnchoke = QByteArray::fromHex("0000000101");
const QByteArray kChoke = QByteArray::fromHex("0000000100");

class EnginePeerServiceTest : public LifecycleTest
{
protected:
    void SetUp() override
    {
        LifecycleTest::SetUp();
        resetGlobalBudgets();
        t = RealTorrent::make("Shared", {{{"s.bin"}, 3 * 32768}}, 32768, 5);
        torrent = add(t.metainfo);
        ASSERT_TRUE(torrent && torrent->storage());
        service = std::make_unique<EnginePeerService>([] { return quint16(6881); });
        ASSERT_TRUE(feedPiece(*torrent, t, 0, "10.0.0.1:6881"));
        ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().containsIndex(0); }));
    }
    void TearDown() override
    {
        remote.reset();
        service.reset();
        pumpOnce();
        setUploadLimit(false, 20);
        LifecycleTest::TearDown();
    }

    static void setUploadLimit(bool enabled, int kilobytes)
    {
        Settings::instance().setValue(QStringLiteral("kUploadLimitEnabled"), enabled);
        Settings::instance().setValue(QStringLiteral("kUploadLimit"), kilobytes);
    }
    // A peer with the Fast extension connects and sends the plain handshake,
    void acceptPeerSendingHandshake(quint16 port)
    {
        auto [remoteFd, engineFd] = loopbackPair();
        ASSERT_GE(engineFd, 0);
        remote = std::make_unique<ScriptedPeer>(remoteFd);
        ASSERT_TRUE(service->acceptIncomingPeer(engineFd, htonl(INADDR_LOOPBACK), htons(port)));
        remote->write(remoteHandshake(0x05, torrent->infoHash()));
    }
    // ... which the engine answers.
    void acceptHandshakingPeer(quint16 port)
    {
        acceptPeerSendingHandshake(port);
        ASSERT_EQ(remote->take(PeerHandshake::kSize).mid(28, 20), torrent->infoHash());
    }
    // Such a peer becomes active and says it is interested; what the engine sent until then is read and
    // dropped.
    void connectInterestedPeer()
    {
        acceptHandshakingPeer(40000);
        ASSERT_TRUE(pumpUntil([&] {
            service->tick();
            return service->peerCounts(*torrent).active == 1;
        }));
        remote->write(kInterested);
        settle();
    }
    QList<QByteArray> settle() { return remote->messagesWithin(150); }
    // Asks for the first block of piece 0: true when it came whole, false when it was refused.
    bool blockServed()
    {
        remote->write(PeerMessage::blockMessage(PeerMessage::Request, 0, 0, 16384));
        for (int i = 0; i < 40; ++i)
            for (const QByteArray& m : settle()) {
                if (m == PeerMessage::piece(0, 0, t.content.left(16384)))
                    return true;
                if (m == PeerMessage::blockMessage(PeerMessage::Reject, 0, 0, 16384))
                    return false;
            }
        ADD_FAILURE() << "the request was neither served nor refused";
        return false;
    }

    RealTorrent t;
    TorrentLinePtr torrent;
    std::unique_ptr<EnginePeerService> service;
    std::unique_ptr<ScriptedPeer> remote;
};

}  // namespace

TEST_F(EnginePeerServiceTest, AZeroUploadLimitKeepsPeersChokedUnlessTheTorrentIsExempt)
{
    struct Case
    {
        const char* name;
        bool limitEnabled;
        int limit;
        int ownLimit;
        bool uploads;
    };
    const Case cases[] = {
        {"no global limit", false, 0, 0, true},
        {"global limit of 5 kB/s", true, 5, 0, true},
        {"global limit of 0", true, 0, 0, false},
        {"global limit of 0, own limit of 20 kB/s", true, 0, 20, false},
        {"global limit of 0, the torrent exempt", true, 0, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setUploadLimit(c.limitEnabled, c.limit);
        torrent->setCustomUploadLimit(c.ownLimit);
        connectInterestedPeer();
        EXPECT_EQ(blockServed(), c.uploads);
        EXPECT_EQ(torrent->bytesUploaded(), c.uploads ? 16384u : 0u);
        torrent->setBytesUploaded(0);
        remote.reset();
        ASSERT_TRUE(pumpUntil([&] {
            service->tick();
            return service->peerCounts(*torrent).active == 0;
        }));
    }
}

TEST_F(EnginePeerServiceTest, ChangingTheLimitChokesOrUnchokesConnectedPeersWithinATick)
{
    setUploadLimit(true, 0);
    connectInterestedPeer();
    EXPECT_FALSE(blockServed());

    setUploadLimit(true, 50);
    service->tick();
    EXPECT_EQ(settle(), QList<QByteArray>{kUnchoke});
    EXPECT_TRUE(blockServed());

    setUploadLimit(true, 0);
    service->tick();
    EXPECT_EQ(settle(), QList<QByteArray>{kChoke});
    EXPECT_FALSE(blockServed());

    // The torrent's own limit changes it as well.
    torrent->setCustomUploadLimit(-1);
    service->tick();
    EXPECT_EQ(settle(), QList<QByteArray>{kUnchoke});
    EXPECT_TRUE(blockServed());
}

TEST_F(EnginePeerServiceTest, AWaitingIncomingPeerEndsWhenItsTorrentsStorageGoes)
{
    // Answered: the connection names the torrent's swarm and waits for the next tick to join it.
    acceptHandshakingPeer(40001);

    torrent->dropStorage();  // removal, relocation or the move at completion
    service->tick();
    EXPECT_TRUE(remote->closedByEngine());
    EXPECT_EQ(service->peerCounts(*torrent).active, 0);
}

TEST_F(EnginePeerServiceTest, ABlockOnItsWayToDiskCountsOnceAndAPieceMessageStillArrivingCountsItsBytes)
{
    // Every byte the rate heard of: no sample ages out within the test, and one second divides them.
    AverageBandwidth& rate = torrent->downloadBandwidth();
    rate.setNumberOfSeconds(3600);
    const auto bytesInRate = [&rate] { return quint64(rate.averageBandwidth(rate.startTime() + 1.0)); };
    connectInterestedPeer();
    remote->write(PeerMessage::simple(PeerMessage::HaveAll) + kUnchoke);
    QList<PeerMessage> requests;
    ASSERT_TRUE(pumpUntil([&] {
        for (const QByteArray& m : remote->messagesWithin(50)) {
            const auto read = PeerMessageReader::read(m.constData(), m.size(), 3);
            if (read.status == PeerMessageReader::Status::Message && read.message.id == PeerMessage::Request)
                requests.append(read.message);
        }
        return requests.size() >= 2;
    }));
    const quint64 verifiedBytes = torrent->downloaded();
    const PeerMessage& first = requests.first();
    const qint64 at = qint64(first.index) * t.pieceLength + first.begin;
    remote->write(PeerMessage::piece(first.index, first.begin, t.content.mid(at, first.length)));
    ASSERT_TRUE(pumpUntil([&] { return torrent->downloaded() == verifiedBytes + first.length; }));

    const struct
    {
        const char* name;
        qsizetype partialBytes;  // of the second block's piece message, written now
        quint64 pending;
    } cases[] = {{"only whole blocks received", 0, 0}, {"1000 bytes of the next block", 13 + 1000, 1000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PeerMessage& second = requests.at(1);
        const qint64 from = qint64(second.index) * t.pieceLength + second.begin;
        if (c.partialBytes > 0)
            remote->write(PeerMessage::piece(second.index, second.begin, t.content.mid(from, second.length))
                              .left(c.partialBytes));
        ASSERT_TRUE(pumpUntil([&] { return service->pendingPieceSize(*torrent) == c.pending; }, 1000));
        torrent->invalidateValues();
        EXPECT_EQ(torrent->amountDownloaded().value(), verifiedBytes + first.length + c.pending);
        EXPECT_EQ(bytesInRate(), first.length + c.pending);
    }
    // The rest of the block counts once it is whole, not again.
    const PeerMessage& second = requests.at(1);
    const qint64 from = qint64(second.index) * t.pieceLength + second.begin;
    remote->write(PeerMessage::piece(second.index, second.begin, t.content.mid(from, second.length)).mid(13 + 1000));
    ASSERT_TRUE(pumpUntil([&] { return torrent->downloaded() == verifiedBytes + first.length + second.length; }));
    EXPECT_EQ(service->pendingPieceSize(*torrent), 0u);
    EXPECT_EQ(bytesInRate(), first.length + second.length);
}

TEST_F(EnginePeerServiceTest, OnlyADownloadingTorrentDropsPeersThatSentItNothing)
{
    qint64 clock = 1'000'000;
    service = std::make_unique<EnginePeerService>([] { return quint16(6881); }, nullptr, [&clock] { return clock; });
    connectInterestedPeer();
    // Known peers not connected, as in any large swarm: enough for the pruning rule.
    QList<PeerAddress> known;
    for (quint32 i = 0; i < TorrentPeers::kMinUnusedPeersToPrune; ++i)
        known.append({htonl(0x7F000100 + i), 6881});
    ASSERT_EQ(service->swarmFor(*torrent)->peers().database().insertPeers(known), int(known.size()));
    clock += TorrentPeers::kSilentPeerMs + 20'000;  // the peer has sent no block since it connected

    const struct
    {
        const char* name;
        TorrentLine::DownloadState state;
        bool dropped;
    } cases[] = {{"seeding", TorrentLine::Complete, false},
                 {"waiting", TorrentLine::Waiting, false},
                 {"paused", TorrentLine::Paused, false},
                 {"downloading", TorrentLine::Downloading, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        torrent->setDownloadState(c.state);
        service->optimizePeerConnections(*torrent);
        EXPECT_EQ(remote->closedByEngine(c.dropped ? 5000 : 300), c.dropped);  // kept: no close within 300 ms
    }
}

// A ban holds for the address: the peer that sent a bad piece, connecting again from another port, is
// closed without joining the torrent or hearing its handshake.
TEST_F(EnginePeerServiceTest, APeerBannedForABadPieceIsRefusedWhenItComesBackFromAnotherPort)
{
    connectInterestedPeer();
    remote->write(PeerMessage::simple(PeerMessage::HaveAll) + kUnchoke);
    // Every block asked for comes back wrong: the piece fails its check with this peer as its only sender.
    const bool banned = pumpUntil([&] {
        for (const QByteArray& m : remote->messagesWithin(20)) {
            const auto read = PeerMessageReader::read(m.constData(), m.size(), 3);
            if (read.status == PeerMessageReader::Status::Message && read.message.id == PeerMessage::Request)
                remote->write(PeerMessage::piece(read.message.index, read.message.begin,
                                                 QByteArray(qsizetype(read.message.length), '\xA5')));
        }
        return remote->closed;
    }, 10'000);
    ASSERT_TRUE(banned) << "the bad piece never closed the connection";

    testing::internal::CaptureStderr();
    acceptPeerSendingHandshake(40001);
    service->tick();
    EXPECT_TRUE(remote->closedByEngine());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("*** Peer 127.0.0.1:40001: banned"),
              std::string::npos);
    EXPECT_EQ(remote->buffered, QByteArray()) << "the banned peer was answered";
    EXPECT_EQ(service->peerCounts(*torrent).active, 0);
}

// Sixty peers, each from an address of its own, send their handshakes before the next tick: fifty find room.
TEST_F(EnginePeerServiceTest, ABurstOfIncomingPeersIsAnsweredOnlyAsFarAsTheTorrentHasRoom)
{
    std::vector<std::unique_ptr<ScriptedPeer>> burst;
    for (quint32 i = 1; i <= 60; ++i) {
        auto [remoteFd, engineFd] = loopbackPair(0x7F005C00u + i);  // 127.0.92.i
        burst.push_back(std::make_unique<ScriptedPeer>(remoteFd));
        ASSERT_TRUE(service->acceptIncomingPeer(engineFd, htonl(0x7F005C00u + i), htons(40000)));
        burst.back()->write(remoteHandshake(0x05, torrent->infoHash(), QByteArray(19, 'R') + char(i)));
    }
    ASSERT_TRUE(pumpUntil([&] {
        return std::ranges::count_if(burst, [](auto& peer) { peer->readSome(); return peer->closed; }) == 10;
    }, 15000));
    service->tick();
    EXPECT_EQ(service->peerCounts(*torrent).connecting + service->peerCounts(*torrent).active, 50);
}

// An incoming peer is stored and redialled under the port its extension handshake names; one that names
// none is not stored.
TEST_F(EnginePeerServiceTest, AnIncomingPeerIsStoredAndDialledAgainAtThePortItListensOn)
{
    qint64 clock = 1'000'000;
    service = std::make_unique<EnginePeerService>([] { return quint16(6881); }, nullptr, [&clock] { return clock; });
    quint16 port = 0;
    const int listener = loopbackListener(port);
    for (const bool namesPort : {false, true}) {
        SCOPED_TRACE(namesPort);
        connectInterestedPeer();
        if (namesPort)
            remote->write(PeerMessage::extensionHandshake(port, 250, "script"));
        settle();
        remote.reset();  // the peer leaves
        ASSERT_TRUE(pumpUntil([&] { service->tick(); return service->peerCounts(*torrent).active == 0; }));
        EXPECT_EQ(service->swarmFor(*torrent)->peers().database().numberOfPeers(), namesPort ? 1 : 0);
        clock += TorrentPeers::kRedialDelayMs;
        service->tick();
        if (namesPort) {
            EXPECT_NE(acceptScripted(listener, 15000), nullptr);
        }
    }
    ::close(listener);
}
