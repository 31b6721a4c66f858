#include "PeerTestSupport.h"
#include "engine/lifecycle/LifecycleFixture.h"

#include "engine/peers/EnginePeerService.h"
#include "engine/peers/TorrentSwarm.h"
#include "engine/storage/SessionFolder.h"
#include "kit/PZCrypto.h"

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

    // A paused torrent takes no peers; a removed one is forgotten; the others are still found.
    torrents[0]->pauseDownload();
    EXPECT_EQ(service->swarmForIncoming(obfuscated(torrents[0]->infoHash()), Key::ObfuscatedInfoHash), nullptr);
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
    PeersDatabase::fileQueue().drain();
    PeersDatabase& database = swarm->peers().database();
    EXPECT_TRUE(database.hasStoredRows());
    EXPECT_EQ(database.path(), file);
    EXPECT_EQ(database.peersToDial(), (QList<PeersDatabase::Row>{{second, 100}, {first, 0}}));
}
