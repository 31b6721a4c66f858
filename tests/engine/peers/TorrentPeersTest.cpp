#include "PeerTestSupport.h"
#include "support/OpenDescriptors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;
using Activity = PeersDatabase::Activity;

namespace {

class TorrentPeersTest : public ::testing::Test, public PeersFixture
{
protected:
    // Stores a peer with a byte count, as an earlier session would have left it.
    void store(const PeerAddress& peer, quint64 downloaded = 0)
    {
        peers->database().insertPeer(peer, Activity::Inactive);
        peers->database().addDownloadedBytes(peer, downloaded);
    }

    // The known peers as the torrent's next run reads them back from the file.
    PeersDatabase& stored()
    {
        PeersDatabase& database = peers->database();
        PeersDatabase::fileQueue().drain();
        return database;
    }

    // Dials one peer and brings it to the exchange of messages.
    std::shared_ptr<FakeLink> dialAndActivate()
    {
        if (!peers->connectToOnePeer())
            return nullptr;
        const std::shared_ptr<FakeLink> link = dialled.last();
        peers->peerBecameActive(link.get());
        return link;
    }

    QList<PeerAddress> dialledAddresses() const
    {
        QList<PeerAddress> addresses;
        for (const auto& link : dialled)
            addresses.append(link->peerAddress());
        return addresses;
    }
};

}  // namespace

TEST_F(TorrentPeersTest, CompactPeersBecomeRows)
{
    QByteArray list;
    for (int i = 0; i < 21; ++i)
        list += compactEntry(PeerAddress{htonl(0x01020300u + quint32(i)), 6881});
    ASSERT_EQ(list.size(), 126);
    EXPECT_EQ(peers->addCompactPeers(list.left(13)), 0) << "not a multiple of 6";
    EXPECT_EQ(peers->addCompactPeers(list), 21);
    EXPECT_EQ(peers->addCompactPeers(list), 0) << "already known";
    EXPECT_EQ(peers->database().numberOfPeers(), 21);

    mayConnect = false;  // neither downloading nor seeding
    EXPECT_EQ(peers->addCompactPeers(compactEntry(peerAt("9.9.9.9", 1))), 0);
}

TEST_F(TorrentPeersTest, TrackerPeersBecomeRowsExceptUnusableOnes)
{
    const QList<AnnounceReply::Peer> named{{peerAt("1.2.3.4", 6881).address, 6881},
                                           {peerAt("127.0.0.1", 6881).address, 6881},
                                           {peerAt("127.0.0.1", 6882).address, 6882},
                                           {peerAt("0.0.0.1", 6881).address, 6881},
                                           {peerAt("230.1.1.1", 6881).address, 6881},
                                           {peerAt("1.2.3.5", 0).address, 0}};
    EXPECT_EQ(peers->addPeers(named), 3);
    const QList<PeersDatabase::Row> rows = peers->database().peersToDial();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows.contains(PeersDatabase::Row{peerAt("1.2.3.4", 6881), 0}));
}

TEST_F(TorrentPeersTest, DialsTheBestStoredPeersFirstAndEachOnce)
{
    store(peerAt("10.0.0.1", 1), 10);
    store(peerAt("10.0.0.2", 1), 30);
    store(peerAt("10.0.0.3", 1), 20);
    store(peerAt("10.0.0.3", 2), 0);  // same address, other peer
    for (int i = 0; i < 6; ++i)
        peers->connectToOnePeer();
    EXPECT_EQ(dialledAddresses(), (QList<PeerAddress>{peerAt("10.0.0.2", 1), peerAt("10.0.0.3", 1),
                                                      peerAt("10.0.0.1", 1), peerAt("10.0.0.3", 2)}));
    EXPECT_EQ(peers->numberOfConnectingPeers(), 4);
    EXPECT_EQ(peers->numberOfAvailablePeerSlots(), 46);
    EXPECT_EQ(peers->database().numberOfUnusedPeers(), 0);
    EXPECT_FALSE(peers->hasDialablePeers());
}

TEST_F(TorrentPeersTest, RefusedAndUndialableRowsAreDeleted)
{
    store(peerAt("5.5.5.5", 1), 200);
    store(peerAt("6.6.6.6", 1), 100);
    store(peerAt("7.7.7.7", 1), 50);
    socketless.append(peerAt("5.5.5.5", 1));
    refused.append(peerAt("6.6.6.6", 1).address);
    EXPECT_FALSE(peers->connectToOnePeer()) << "no socket for the best row";
    EXPECT_EQ(peers->database().numberOfPeers(), 2);
    EXPECT_TRUE(peers->connectToOnePeer());
    EXPECT_EQ(dialledAddresses(), (QList<PeerAddress>{peerAt("7.7.7.7", 1)}));
    EXPECT_EQ(peers->database().numberOfPeers(), 1);
    EXPECT_FALSE(peers->connectToOnePeer());
    EXPECT_EQ(dialledAddresses().size(), 1);
}

TEST_F(TorrentPeersTest, HowAConnectionEndedDecidesWhetherItsRowStaysAndWhetherItIsRedialled)
{
    using Ending = PeerLink::Ending;
    struct Case
    {
        const char* name;
        bool incoming;
        bool becameActive;
        Ending ending;
        bool banned;
        bool rowKept;
        bool redialled;
    };
    const Case cases[] = {
        {"dial lost before any message", false, false, Ending::Lost, false, true, true},
        {"dial closed by us before any message", false, false, Ending::Closed, false, false, false},
        {"dial that reached ourselves", false, false, Ending::Ourselves, false, false, false},
        {"dial that broke the protocol", false, false, Ending::BrokeProtocol, false, false, false},
        {"banned while connecting", false, false, Ending::Lost, true, false, false},
        {"incoming lost before any message", true, false, Ending::Lost, false, false, false},
        {"broke the protocol after messages", false, true, Ending::BrokeProtocol, false, false, false},
        {"exchanged messages, then dropped", false, true, Ending::Lost, false, true, false},
        {"incoming exchanged messages, then dropped", true, true, Ending::Lost, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeersFixture fixture;
        const PeerAddress peer = peerAt("10.0.0.1", 6881);
        std::shared_ptr<FakeLink> link;
        if (c.incoming) {
            link = std::make_shared<FakeLink>(peer);
            ASSERT_TRUE(fixture.peers->addIncomingPeer(link));
        } else {
            fixture.peers->database().insertPeer(peer, Activity::Inactive);
            ASSERT_TRUE(fixture.peers->connectToOnePeer());
            link = fixture.dialled.last();
        }
        if (c.becameActive)
            fixture.peers->peerBecameActive(link.get());
        link->end = c.ending;
        if (c.banned)
            fixture.peers->banPeer(peer);
        fixture.peers->removePeer(link.get());
        EXPECT_EQ(fixture.peers->database().numberOfPeers(), c.rowKept ? 1 : 0);
        EXPECT_TRUE(fixture.peers->allPeers().isEmpty());

        // Well within the rest of a dropped peer, well past every redial.
        const int before = int(fixture.dialled.size());
        for (int second = 1; second <= 60; ++second) {
            fixture.now += 1000;
            fixture.peers->connectToOnePeer();
        }
        EXPECT_EQ(fixture.dialled.size() > before, c.redialled);
    }
}

TEST_F(TorrentPeersTest, ADialThatReachedOurselvesIsNeverDialledAgain)
{
    PeersFixture fixture;
    const PeerAddress self = peerAt("10.0.0.1", 6881);
    const PeerAddress other = peerAt("10.0.0.2", 6881);
    fixture.peers->database().insertPeer(self, Activity::Inactive);
    ASSERT_TRUE(fixture.peers->connectToOnePeer());
    fixture.dialled.last()->end = PeerLink::Ending::Ourselves;
    fixture.peers->removePeer(fixture.dialled.last().get());

    // Every announce hands our own address back.
    fixture.peers->database().insertPeer(self, Activity::Inactive);
    fixture.peers->database().insertPeer(other, Activity::Inactive);
    for (int minute = 1; minute <= 5; ++minute) {
        fixture.now += 60000;
        fixture.peers->connectToOnePeer();
    }
    ASSERT_EQ(fixture.dialled.size(), 2);
    EXPECT_EQ(fixture.dialled.last()->peerAddress(), other);
}

TEST_F(TorrentPeersTest, AFailedDialIsRetriedAFewTimesWithBackOffInTheOtherHandshake)
{
    using Handshake = PeerLink::Handshake;
    const PeerAddress peer = peerAt("10.0.0.1", 6881);
    store(peer);
    ASSERT_TRUE(peers->connectToOnePeer());
    ASSERT_EQ(dialled.last()->handshake, Handshake::Encrypted);

    qint64 delay = PeerRedials::kFirstDelayMs;
    for (int redial = 1; redial <= PeerRedials::kMaxRedials; ++redial) {
        SCOPED_TRACE(redial);
        const std::shared_ptr<FakeLink> failed = dialled.last();
        failed->end = PeerLink::Ending::Lost;
        peers->removePeer(failed.get());
        EXPECT_EQ(peers->database().numberOfPeers(), 1);
        EXPECT_EQ(peers->database().peersToDial().size(), 0) << "the row waits for its redial";
        now += delay - 1;
        EXPECT_FALSE(peers->hasDialablePeers());
        EXPECT_FALSE(peers->connectToOnePeer());
        now += 1;
        EXPECT_TRUE(peers->hasDialablePeers());
        ASSERT_TRUE(peers->connectToOnePeer());
        EXPECT_EQ(dialled.last()->peerAddress(), peer);
        const Handshake other = failed->handshake == Handshake::Encrypted ? Handshake::Plain : Handshake::Encrypted;
        EXPECT_EQ(dialled.last()->handshake, other);
        EXPECT_EQ(peers->numberOfConnectingPeers(), 1);
        delay *= 2;
    }
    // The last attempt fails too: the peer is gone for good.
    dialled.last()->end = PeerLink::Ending::Lost;
    peers->removePeer(dialled.last().get());
    EXPECT_EQ(peers->database().numberOfPeers(), 0);
    now += delay * 4;
    EXPECT_FALSE(peers->connectToOnePeer());
    EXPECT_EQ(dialled.size(), 1 + PeerRedials::kMaxRedials);
}

// A peer that took the connection and closed it: redialled for a quarter of an hour, at most 3 minutes apart.
TEST_F(TorrentPeersTest, APeerThatTookTheConnectionAndClosedItIsRedialledForAQuarterOfAnHour)
{
    store(peerAt("10.0.0.1", 6881));
    const qint64 start = now;
    qint64 lastDial = now, longestWait = 0;
    for (; now - start < 20 * 60'000; now += 1000) {
        if (!peers->connectToOnePeer())
            continue;
        longestWait = std::max(longestWait, now - lastDial);
        lastDial = now;
        dialled.last()->answered = true;
        dialled.last()->end = PeerLink::Ending::Lost;
        peers->removePeer(dialled.last().get());
    }
    EXPECT_LE(longestWait, 180'000);
    EXPECT_GE(lastDial - start, 15 * 60'000);
    EXPECT_EQ(peers->database().numberOfPeers(), 0);
}

TEST_F(TorrentPeersTest, ARedialThatGetsThroughStartsAFreshCountAndStoppingDropsWaitingRedials)
{
    const PeerAddress peer = peerAt("10.0.0.1", 6881);
    store(peer);
    const auto fail = [this] {
        dialled.last()->end = PeerLink::Ending::Lost;
        peers->removePeer(dialled.last().get());
    };
    // Two failures, then the third attempt gets through and later drops after messages.
    ASSERT_TRUE(peers->connectToOnePeer());
    fail();
    now += PeerRedials::kFirstDelayMs;
    ASSERT_TRUE(peers->connectToOnePeer());
    fail();
    now += 2 * PeerRedials::kFirstDelayMs;
    ASSERT_TRUE(peers->connectToOnePeer());
    peers->peerBecameActive(dialled.last().get());
    fail();
    EXPECT_EQ(peers->database().numberOfPeers(), 1);
    now += TorrentPeers::kRedialDelayMs;
    ASSERT_TRUE(peers->connectToOnePeer()) << "rested, then dialled from the stored peers";
    EXPECT_EQ(dialled.last()->handshake, PeerLink::Handshake::Encrypted);
    // Its count started over: the two earlier failures no longer weigh.
    for (int redial = 0; redial < PeerRedials::kMaxRedials - 1; ++redial) {
        fail();
        now += PeerRedials::kFirstDelayMs << redial;
        ASSERT_TRUE(peers->connectToOnePeer()) << redial;
    }
    // A failure leaves a redial waiting; stopping forgets it, and the row is an ordinary stored peer again.
    dialled.last()->end = PeerLink::Ending::Lost;
    peers->removePeer(dialled.last().get());
    peers->disconnectFromPeers();
    EXPECT_EQ(stored().peersToDial().size(), 1);
    ASSERT_TRUE(peers->connectToOnePeer());
    EXPECT_EQ(dialled.last()->handshake, PeerLink::Handshake::Encrypted);
    EXPECT_FALSE(peers->connectToOnePeer());
}

TEST_F(TorrentPeersTest, ADroppedPeerRestsBeforeItIsDialledAgain)
{
    store(peerAt("10.0.0.1", 6881), 100);
    store(peerAt("10.0.0.2", 6881), 0);
    const std::shared_ptr<FakeLink> link = dialAndActivate();
    ASSERT_TRUE(link);
    link->bytes = 4096;
    peers->removePeer(link.get());

    EXPECT_EQ(peers->database().numberOfUnusedPeers(), 2);
    EXPECT_TRUE(peers->connectToOnePeer());
    EXPECT_EQ(dialled.last()->peerAddress(), peerAt("10.0.0.2", 6881)) << "the rested one waits";
    EXPECT_FALSE(peers->connectToOnePeer());

    now += TorrentPeers::kRedialDelayMs - 1;
    EXPECT_FALSE(peers->connectToOnePeer());
    now += 1;
    EXPECT_TRUE(peers->hasDialablePeers());
    EXPECT_TRUE(peers->connectToOnePeer());
    EXPECT_EQ(dialled.last()->peerAddress(), peerAt("10.0.0.1", 6881));
    EXPECT_EQ(peers->database().peersToDial().size(), 0);
    // Its bytes were recorded when it dropped.
    peers->disconnectFromPeers();
    EXPECT_EQ(stored().peersToDial().value(0).downloaded, 4196);
}

TEST_F(TorrentPeersTest, IncomingPeersAreNotDialledWhileConnected)
{
    store(peerAt("10.0.0.1", 6881), 100);
    const auto incoming = std::make_shared<FakeLink>(peerAt("10.0.0.1", 6881));
    EXPECT_TRUE(peers->addIncomingPeer(incoming));
    EXPECT_FALSE(peers->addIncomingPeer(incoming)) << "once per peer";
    EXPECT_FALSE(peers->connectToOnePeer());
    EXPECT_EQ(peers->numberOfConnectingPeers(), 1);

    const auto newcomer = std::make_shared<FakeLink>(peerAt("10.0.0.9", 40000));
    EXPECT_TRUE(peers->addIncomingPeer(newcomer));
    EXPECT_EQ(peers->database().numberOfPeers(), 2);
    EXPECT_EQ(peers->database().numberOfUnusedPeers(), 0);

    // Dials take the places left meanwhile: the next incoming peer finds none.
    for (quint32 i = 0; i < 48; ++i) {
        store(PeerAddress{htonl(0x0A000200u + i), 6881});
        ASSERT_TRUE(peers->connectToOnePeer());
    }
    EXPECT_FALSE(peers->addIncomingPeer(std::make_shared<FakeLink>(peerAt("10.0.0.10", 40000))));
}

TEST_F(TorrentPeersTest, PeerExchangeIsBoundedAndPaced)
{
    const auto source = std::make_shared<FakeLink>(peerAt("10.0.0.1", 6881));
    const auto sibling = std::make_shared<FakeLink>(peerAt("10.0.0.1", 6882));
    const auto makeAdded = [](quint32 first, int count) {
        QByteArray added;
        for (int i = 0; i < count; ++i)
            added += compactEntry(PeerAddress{htonl(first + quint32(i)), 6881});
        return added;
    };
    EXPECT_EQ(peers->addExchangedPeers(*source, makeAdded(0x0B000000u, 60)), 50);
    now += TorrentPeers::kMinExchangeIntervalMs - 1;
    EXPECT_EQ(peers->addExchangedPeers(*source, makeAdded(0x0C000000u, 5)), 0) << "too soon";
    EXPECT_EQ(peers->addExchangedPeers(*sibling, makeAdded(0x0D000000u, 5)), 5) << "another peer";
    now += 1;
    EXPECT_EQ(peers->addExchangedPeers(*source, makeAdded(0x0C000000u, 5)), 5);

    QByteArray unusable = compactEntry(peerAt("0.1.2.3", 1)) + compactEntry(peerAt("224.0.0.1", 1)) +
                          compactEntry(peerAt("1.2.3.4", 0)) + compactEntry(peerAt("192.168.0.2", 1));
    now += TorrentPeers::kMinExchangeIntervalMs;
    EXPECT_EQ(peers->addExchangedPeers(*source, unusable), 1);
    EXPECT_EQ(peers->database().numberOfPeers(), 61);
}

TEST_F(TorrentPeersTest, PruningDropsSilentPeersOnlyWhenEnoughOthersWait)
{
    for (int i = 0; i < 4; ++i)
        store(PeerAddress{htonl(0x0A000000u + quint32(i)), 6881}, 1000 - i);
    std::vector<std::shared_ptr<FakeLink>> links;
    for (int i = 0; i < 4; ++i)
        links.push_back(dialAndActivate());
    links[2]->bytes = 1;  // delivered something
    for (const auto& link : links)
        link->onDisconnect = [this](FakeLink* self) { peers->removePeer(self); };
    now += TorrentPeers::kSilentPeerMs + 20'000;

    // Ten unused rows: nothing happens.
    for (int i = 0; i < 10; ++i)
        store(PeerAddress{htonl(0x0B000000u + quint32(i)), 6881});
    EXPECT_EQ(peers->optimizePeerConnections(), 0);

    // Eleven: the three silent peers go; the one that delivered stays.
    store(peerAt("11.0.0.99", 6881));
    EXPECT_EQ(peers->optimizePeerConnections(), 3);
    EXPECT_TRUE(links[0]->disconnected && links[1]->disconnected && links[3]->disconnected);
    EXPECT_FALSE(links[2]->disconnected);
    EXPECT_EQ(peers->numberOfActivePeers(), 1);

    // Pruned peers are not dialled again before the torrent stops.
    for (int i = 0; i < 20; ++i)
        peers->connectToOnePeer();
    for (auto it = dialled.begin() + 4; it != dialled.end(); ++it)
        for (int i : {0, 1, 3})
            EXPECT_NE((*it)->peerAddress(), links[i]->peerAddress());
    EXPECT_EQ(dialled.size(), 4 + 11);

    peers->disconnectFromPeers();
    EXPECT_EQ(stored().numberOfUnusedPeers(), 15);
    EXPECT_EQ(stored().peersToDial().size(), 15);
}

TEST_F(TorrentPeersTest, PruningSparesPeersActiveForLessThanTheSilentTime)
{
    for (int i = 0; i < 12; ++i)
        store(PeerAddress{htonl(0x0A000000u + quint32(i)), 6881});
    const auto link = dialAndActivate();
    now += TorrentPeers::kSilentPeerMs;  // not more than the limit
    EXPECT_EQ(peers->optimizePeerConnections(), 0);
    now += 1;
    EXPECT_EQ(peers->optimizePeerConnections(), 1);
    EXPECT_TRUE(link->disconnected);
}

TEST_F(TorrentPeersTest, BytesAreRecordedOnceAcrossSavesAndTheStop)
{
    store(peerAt("10.0.0.1", 6881));
    const auto link = dialAndActivate();
    link->bytes = quint64(5) << 30;  // past 32 bits
    peers->updatePeersDatabase();
    peers->updatePeersDatabase();
    link->bytes += 10;
    peers->disconnectFromPeers();
    EXPECT_TRUE(link->disconnected);
    EXPECT_TRUE(peers->allPeers().isEmpty());
    const QList<PeersDatabase::Row> rows = stored().peersToDial();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().downloaded, (qint64(5) << 30) + 10);
}

TEST_F(TorrentPeersTest, EndsReportedWhileStoppingChangeNoRow)
{
    store(peerAt("10.0.0.1", 6881));
    store(peerAt("10.0.0.2", 6881));
    const auto active = dialAndActivate();
    ASSERT_TRUE(peers->connectToOnePeer());  // still connecting
    for (const auto& link : dialled)
        link->onDisconnect = [this](FakeLink* self) { peers->removePeer(self); };
    peers->disconnectFromPeers();
    EXPECT_EQ(stored().numberOfPeers(), 2);
    EXPECT_EQ(stored().peersToDial().size(), 2);
}

TEST_F(TorrentPeersTest, NothingIsDialledWhileTheTorrentTakesNoPeers)
{
    store(peerAt("10.0.0.1", 6881));
    mayConnect = false;
    EXPECT_FALSE(peers->connectToOnePeer());
    EXPECT_FALSE(peers->addIncomingPeer(std::make_shared<FakeLink>(peerAt("10.0.0.2", 1))));
    mayConnect = true;
    EXPECT_TRUE(peers->connectToOnePeer());
}

TEST_F(TorrentPeersTest, TheKnownPeersOpenOnFirstRealUseAndCloseWhenTheTorrentStops)
{
    const QString file = dir.filePath("peers.db");
    const auto openOnFile = [&] { return openDescriptors(file) > 0; };
    const auto drain = [] { PeersDatabase::fileQueue().drain(); };

    // A torrent that takes no peers (waiting, paused) touches nothing of its file, whatever is asked.
    mayConnect = false;
    const struct
    {
        const char* name;
        std::function<void()> ask;
    } idle[] = {
        {"asked for peers to dial", [&] { EXPECT_FALSE(peers->hasDialablePeers()); }},
        {"asked to dial", [&] { EXPECT_FALSE(peers->connectToOnePeer()); }},
        {"pruned", [&] { EXPECT_EQ(peers->optimizePeerConnections(), 0); }},
        {"given compact peers", [&] { EXPECT_EQ(peers->addCompactPeers(compactEntry(peerAt("9.9.9.9", 1))), 0); }},
        {"given tracker peers", [&] { EXPECT_EQ(peers->addPeers({{peerAt("9.9.9.8", 1).address, 1}}), 0); }},
        {"stopped", [&] { peers->disconnectFromPeers(); }},
    };
    for (const auto& c : idle) {
        c.ask();
        drain();
        EXPECT_FALSE(peers->isDatabaseOpen()) << c.name;
        EXPECT_FALSE(QFile::exists(file)) << c.name;
    }

    // A peer named from outside is kept for the torrent's next run; the file closes again at once.
    EXPECT_TRUE(peers->addNamedPeer(peerAt("10.0.0.1", 6881)));
    EXPECT_FALSE(peers->isDatabaseOpen());
    drain();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(openOnFile());

    // Running: asking for peers opens the file, which reads the stored ones back.
    mayConnect = true;
    peers->hasDialablePeers();
    EXPECT_TRUE(peers->isDatabaseOpen());
    drain();
    EXPECT_TRUE(openOnFile());
    const auto link = dialAndActivate();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->peerAddress(), peerAt("10.0.0.1", 6881));
    EXPECT_EQ(peers->addCompactPeers(compactEntry(peerAt("10.0.0.2", 6881))), 1);
    link->bytes = 700;

    // Stopping saves the bytes and closes the file; the next run finds both peers, none of them in use.
    peers->disconnectFromPeers();
    EXPECT_FALSE(peers->isDatabaseOpen());
    drain();
    EXPECT_FALSE(openOnFile());
    EXPECT_EQ(stored().peersToDial(),
              (QList<PeersDatabase::Row>{{peerAt("10.0.0.1", 6881), 700}, {peerAt("10.0.0.2", 6881), 0}}));
    EXPECT_EQ(stored().numberOfUnusedPeers(), 2);
}

TEST_F(TorrentPeersTest, AFileThatCannotBeOpenedIsReportedAndLeftAlone)
{
    // A folder where the file should be: it cannot be opened, and nothing may replace it.
    const QString file = dir.filePath("peers.db");
    ASSERT_TRUE(QDir().mkpath(file + "/kept"));
    EXPECT_EQ(peers->addCompactPeers(compactEntry(peerAt("10.0.0.1", 6881))), 1);
    PeersDatabase::fileQueue().drain();
    EXPECT_FALSE(peers->database().openError().isEmpty());
    EXPECT_EQ(peers->database().numberOfPeers(), 1) << "the rows live on in memory";
    peers->disconnectFromPeers();
    PeersDatabase::fileQueue().drain();
    EXPECT_TRUE(QFileInfo(file + "/kept").isDir());
}

TEST_F(TorrentPeersTest, ADialThatCannotStartForAReasonOfOursKeepsTheRowAndItsPlace)
{
    for (const bool waitingForRedial : {false, true}) {
        SCOPED_TRACE(waitingForRedial ? "a peer waiting for its redial" : "a stored peer");
        PeersFixture fixture;
        const PeerAddress peer = peerAt("10.0.0.1", 6881);
        fixture.peers->database().insertPeer(peer, Activity::Inactive);
        if (waitingForRedial) {
            ASSERT_TRUE(fixture.peers->connectToOnePeer());
            fixture.dialled.last()->end = PeerLink::Ending::Lost;
            fixture.peers->removePeer(fixture.dialled.last().get());
        }
        fixture.offline = true;
        for (int second = 0; second < 60; ++second) {
            fixture.now += 1000;
            EXPECT_FALSE(fixture.peers->connectToOnePeer());
        }
        EXPECT_EQ(fixture.peers->database().numberOfPeers(), 1);
        fixture.offline = false;
        fixture.now += PeerRedials::kFirstDelayMs;
        ASSERT_TRUE(fixture.peers->connectToOnePeer());
        EXPECT_EQ(fixture.dialled.last()->peerAddress(), peer);
        // A redial keeps its turn of handshake: the plain one after a lost encrypted dial.
        EXPECT_EQ(fixture.dialled.last()->handshake,
                  waitingForRedial ? PeerLink::Handshake::Plain : PeerLink::Handshake::Encrypted);
    }
}
