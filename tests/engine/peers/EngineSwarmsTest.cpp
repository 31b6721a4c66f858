#include "PeerTestSupport.h"
#include "engine/lifecycle/LifecycleFixture.h"

#include "engine/peers/EnginePeerService.h"
#include "engine/peers/TorrentSwarm.h"
#include "engine/storage/SessionFolder.h"
#include "kit/PZCrypto.h"
#include "kit/Settings.h"
#include "support/OpenDescriptors.h"
#include "support/PrivateNetwork.h"

#include <QDir>
#include <QFileInfo>
#include <sys/resource.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// The engine's peer service over torrents added and started through the session, on real session folders.
class EngineSwarms : public LifecycleTest
{
protected:
    void SetUp() override
    {
        LifecycleTest::SetUp();
        service = std::make_unique<EnginePeerService>([] { return quint16(0); });
    }
    void TearDown() override
    {
        service.reset();
        LifecycleTest::TearDown();
    }
    TorrentLinePtr started(int seed)
    {
        return add(RealTorrent::make(QStringLiteral("P%1").arg(seed), {{{"f"}, 40000}}, 16384, quint32(seed)).metainfo);
    }

    std::unique_ptr<EnginePeerService> service;
};

QByteArray obfuscated(const QByteArray& infoHash)
{
    return PZCrypto::sha1(QByteArrayLiteral("req2") + infoHash);
}

}  // namespace

TEST_F(EngineSwarms, IncomingConnectionsFindTheirTorrentAmongSeveralByEitherHash)
{
    using Key = PeerWire::TorrentKey;
    const TorrentLineList torrents{started(1), started(2), started(3)};
    for (const TorrentLinePtr& torrent : torrents)
        ASSERT_TRUE(torrent && torrent->storage());

    // Asked before any swarm exists, then again once they do.
    for (int round = 0; round < 2; ++round) {
        for (const TorrentLinePtr& torrent : torrents) {
            TorrentSwarm* byObfuscated = service->swarmForIncoming(obfuscated(torrent->infoHash()), Key::ObfuscatedInfoHash);
            TorrentSwarm* byInfoHash = service->swarmForIncoming(torrent->infoHash(), Key::InfoHash);
            TorrentSwarm* swarm = service->swarmFor(*torrent);
            ASSERT_TRUE(swarm);
            EXPECT_EQ(byObfuscated, swarm) << torrent->path().toStdString() << " round " << round;
            EXPECT_EQ(byInfoHash, swarm) << torrent->path().toStdString() << " round " << round;
        }
    }

    const QByteArray unknown = PZCrypto::sha1(QByteArrayLiteral("no torrent of ours"));
    const struct
    {
        const char* name;
        QByteArray hash;
        Key key;
    } refused[] = {
        {"unknown obfuscated hash", obfuscated(unknown), Key::ObfuscatedInfoHash},
        {"unknown info hash", unknown, Key::InfoHash},
        {"an info hash given as the obfuscated one", torrents[1]->infoHash(), Key::ObfuscatedInfoHash},
        {"an obfuscated hash given as the info hash", obfuscated(torrents[1]->infoHash()), Key::InfoHash},
        {"empty", QByteArray(), Key::ObfuscatedInfoHash},
    };
    for (const auto& c : refused)
        EXPECT_EQ(service->swarmForIncoming(c.hash, c.key), nullptr) << c.name;

    // Only a torrent that downloads or seeds takes peers; one that ran keeps its swarm meanwhile.
    const struct
    {
        const char* name;
        TorrentLine::DownloadState state;
        bool seedingEnabled;
        bool takesPeers;
    } states[] = {{"paused", TorrentLine::Paused, true, false},
                  {"waiting in the queue", TorrentLine::Waiting, true, false},
                  {"halted, its disk gone", TorrentLine::Halted, true, false},
                  {"complete, seeding off", TorrentLine::Complete, false, false},
                  {"complete and seeding", TorrentLine::Complete, true, true},
                  {"downloading", TorrentLine::Downloading, true, true}};
    for (const auto& c : states) {
        SCOPED_TRACE(c.name);
        Settings::instance().setValue(QStringLiteral("kSeedingEnabled"), c.seedingEnabled);
        torrents[0]->setDownloadState(c.state);
        const TorrentSwarm* expected = c.takesPeers ? service->swarmFor(*torrents[0]) : nullptr;
        EXPECT_EQ(service->swarmForIncoming(obfuscated(torrents[0]->infoHash()), Key::ObfuscatedInfoHash), expected);
        EXPECT_EQ(service->swarmForIncoming(torrents[0]->infoHash(), Key::InfoHash), expected);
    }
    // A removed torrent is forgotten; the others are still found.
    PeersDatabase::fileQueue().drain();  // its file is read before its session folder goes
    host.removeDownloads({torrents[1]});
    EXPECT_EQ(service->swarmForIncoming(obfuscated(torrents[1]->infoHash()), Key::ObfuscatedInfoHash), nullptr);
    EXPECT_EQ(service->swarmForIncoming(obfuscated(torrents[2]->infoHash()), Key::ObfuscatedInfoHash),
              service->swarmFor(*torrents[2]));
}

TEST_F(EngineSwarms, AStartedTorrentsPeersAreStoredOffTheMainThreadAndReadBackAtItsNextStart)
{
    const PeerAddress first = peerAt("127.0.0.2", 6881), second = peerAt("127.0.0.3", 6882);
    TorrentLinePtr torrent;
    QString file;
    {
        // The torrent starts and takes peers while the queue is held: nothing of it waits for the disk.
        QueueGate gate(PeersDatabase::fileQueue());
        torrent = started(7);
        ASSERT_TRUE(torrent && torrent->storage());
        file = SessionFolder(torrent->storage()->sessionFolder()).filePath(QStringLiteral("peers.db"));
        TorrentSwarm* swarm = service->swarmFor(*torrent);
        ASSERT_TRUE(swarm);
        swarm->addPeer(first);
        swarm->addPeer(second);
        swarm->peers().database().addDownloadedBytes(second, 100);
        EXPECT_EQ(swarm->peers().database().numberOfPeers(), 2);
        EXPECT_FALSE(QFile::exists(file));
    }
    service.reset();  // its swarms go, and their databases with them
    PeersDatabase::fileQueue().drain();
    EXPECT_TRUE(QFile::exists(file));

    service = std::make_unique<EnginePeerService>([] { return quint16(0); });
    TorrentSwarm* swarm = service->swarmFor(*torrent);
    ASSERT_TRUE(swarm);
    PeersDatabase& database = swarm->peers().database();
    PeersDatabase::fileQueue().drain();
    EXPECT_TRUE(database.hasStoredRows());
    EXPECT_EQ(database.path(), file);
    EXPECT_EQ(database.peersToDial(), (QList<PeersDatabase::Row>{{second, 100}, {first, 0}}));
}

TEST_F(EngineSwarms, OnlyATorrentThatRunsHoldsItsPeersFile)
{
    Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), true);
    Settings::instance().setValue(QStringLiteral("kDownloadQueueLimit"), 1);
    const TorrentLinePtr running = started(1), waiting = started(2);
    ASSERT_TRUE(running && waiting && running->storage() && waiting->storage());
    ASSERT_EQ(running->downloadState(), TorrentLine::Downloading);
    ASSERT_TRUE(waiting->isWaiting());
    const auto fileOf = [](const TorrentLinePtr& torrent) {
        return SessionFolder(torrent->storage()->sessionFolder()).filePath(QStringLiteral("peers.db"));
    };
    const auto heldOpen = [&](const TorrentLinePtr& torrent) {
        PeersDatabase::fileQueue().drain();
        return openDescriptors(fileOf(torrent)) > 0;
    };

    // The dialler asks the running torrent for peers; the waiting one is neither asked nor given any.
    service->connectToPeers();
    for (const TorrentLinePtr& torrent : {running, waiting})
        service->addPeers(*torrent, {{peerAt("127.0.0.9", 6881).address, 6881}});
    EXPECT_TRUE(heldOpen(running));
    EXPECT_FALSE(heldOpen(waiting));
    EXPECT_FALSE(QFile::exists(fileOf(waiting)));

    // Paused, the running torrent lets its file go, its peer kept; the waiting one starts in its place.
    running->pauseDownload();
    host.updateQueueState();
    ASSERT_EQ(waiting->downloadState(), TorrentLine::Downloading);
    EXPECT_FALSE(heldOpen(running));
    service->connectToPeers();
    EXPECT_TRUE(heldOpen(waiting));

    running->retryDownload();
    TorrentSwarm* swarm = service->swarmFor(*running);
    ASSERT_TRUE(swarm);
    swarm->peers().database();
    PeersDatabase::fileQueue().drain();
    EXPECT_EQ(swarm->peers().database().peersToDial(), (QList<PeersDatabase::Row>{{peerAt("127.0.0.9", 6881), 0}}));
}

TEST_F(EngineSwarms, APeersFileThatCannotBeOpenedStopsItsTorrentWithTheReason)
{
    const TorrentLinePtr torrent = started(3);
    ASSERT_TRUE(torrent && torrent->storage());
    const QString file = SessionFolder(torrent->storage()->sessionFolder()).filePath(QStringLiteral("peers.db"));
    ASSERT_TRUE(QDir().mkpath(file + "/kept"));  // in the file's place: cannot be opened, must not be replaced

    service->addPeers(*torrent, {{peerAt("127.0.0.9", 6881).address, 6881}});
    PeersDatabase::fileQueue().drain();
    service->tick();
    EXPECT_TRUE(torrent->isPaused());
    EXPECT_TRUE(torrent->errorText().startsWith(QStringLiteral("The known peers cannot be opened"))) << torrent->errorText().toStdString();
    EXPECT_EQ(torrent->stateDescription(), torrent->errorText());
    EXPECT_TRUE(QFileInfo(file + "/kept").isDir());
}

// A dial that cannot start for a reason of ours says nothing of the peer: offline (the test's own network,
// where only loopback is up, has no route to the peers) or out of descriptors, the engine dials every
// second and the torrent keeps every peer it knows.
TEST_F(EngineSwarms, DialsThatCannotStartForAReasonOfOursKeepTheKnownPeers)
{
    PrivateNetwork network;
    if (!network.entered())
        GTEST_SKIP() << "no network namespace of our own";
    const TorrentLinePtr torrent = started(4);
    ASSERT_TRUE(torrent && torrent->storage());
    QList<AnnounceReply::Peer> named;
    for (quint32 i = 1; i <= 5; ++i)
        named.append({htonl(0x0A090000u + i), 6881});
    for (const bool descriptorsLeft : {true, false}) {
        SCOPED_TRACE(descriptorsLeft ? "offline" : "out of descriptors");
        service->addPeers(*torrent, named);  // a tracker's reply
        PeersDatabase::fileQueue().drain();
        rlimit saved{};
        ::getrlimit(RLIMIT_NOFILE, &saved);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        const rlimit none{rlim_t(lowestFree), saved.rlim_max};  // no descriptor beyond those held
        if (!descriptorsLeft)
            ::setrlimit(RLIMIT_NOFILE, &none);
        int connecting = 0;
        for (int second = 0; second < 5; ++second) {
            service->tick();
            connecting += service->peerCounts(*torrent).connecting;
        }
        ::setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_EQ(connecting, 0);
        EXPECT_EQ(service->swarmFor(*torrent)->peers().database().numberOfPeers(), named.size());
    }
}
