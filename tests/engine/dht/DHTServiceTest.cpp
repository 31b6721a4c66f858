#include "ScriptedNode.h"
#include "engine/dht/DHTService.h"
#include "engine/torrent/TorrentFixtures.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/Settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::dhttest;

namespace {

TorrentLinePtr torrentWithNodes(const QList<DhtNodeAddress>& nodes)
{
    BValue list = BValue::list();
    for (const DhtNodeAddress& node : nodes)
        list.append(BValue::List{node.toString().section(':', 0, 0), node.port});
    // The torrent reader wants a tracker; it is never asked here.
    const BValue top = BValue::Dict{
        {"announce", "http://127.0.0.1:9/announce"}, {"info", test::singleFileInfo("content.bin", 65536)}, {"nodes", list}};
    return TorrentLine::torrentLineForData(Bencoder::bencodingForObject(top));
}

std::unique_ptr<DHTService> makeService()
{
    return std::make_unique<DHTService>(std::make_unique<DHTController>(
        DHTSocket::bind(inet_addr("127.0.0.1"), 0), DHTController::Options{QString(), idWithTop(0x44)}));
}

}  // namespace

TEST(DHTService, StartedTorrentPingsItsNodesAndLooksUpItsPeersThroughThem)
{
    ScriptedNode node("127.0.0.2");
    const QByteArray peer = QByteArray::fromHex("7f0000011ae1");
    node.answer = [&](const BValue& q, const DhtNodeAddress&) -> BValue {
        if (q["q"].asBytes() == "get_peers")
            return BValue::Dict{{"token", "tk"}, {"values", BValue::List{peer}}};
        return BValue::dictionary();
    };
    const TorrentLinePtr torrent = torrentWithNodes({node.endpoint()});
    ASSERT_TRUE(torrent);
    ASSERT_EQ(torrent->dhtNodes(), QList<DhtNodeAddress>{node.endpoint()});

    auto service = makeService();
    EXPECT_EQ(&DhtService::instance(), service.get());
    QSignalSpy peers(&service->controller(), &DHTController::peersFound);
    DhtService::instance().addNodes(torrent->dhtNodes());
    DhtService::instance().findPeersForTorrent(*torrent);
    ASSERT_TRUE(waitUntil([&] { return peers.size() == 1; }));
    EXPECT_EQ(peers.at(0).at(0).toByteArray(), torrent->infoHash());
    EXPECT_EQ(peers.at(0).at(1).toByteArray(), peer);
    EXPECT_EQ(node.count("ping"), 1);
    EXPECT_EQ(node.count("get_peers"), 1);
    EXPECT_EQ(node.queries.last()["a"]["info_hash"].asBytes(), torrent->infoHash());

    service.reset();
    EXPECT_EQ(dynamic_cast<DHTService*>(&DhtService::instance()), nullptr);
}

TEST(DHTService, OnlyDownloadingAndSeedingTorrentsKeepSearching)
{
    QTemporaryDir dir;
    Settings::useFile(dir.filePath("settings.conf"));
    const TorrentLinePtr torrent = torrentWithNodes({});
    ASSERT_TRUE(torrent);
    struct Case { const char* name; int state; bool seeding; bool wants; };
    const Case cases[] = {
        {"downloading", TorrentLine::Downloading, false, true},
        {"paused", TorrentLine::Paused, false, false},
        {"waiting", TorrentLine::Waiting, false, false},
        {"halted", TorrentLine::Halted, false, false},
        {"complete and seeding", TorrentLine::Complete, true, true},
        {"complete, seeding off", TorrentLine::Complete, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings::instance().setBool("kSeedingEnabled", c.seeding);
        Settings::instance().setBool("kStopSeedingAtRatio", false);
        torrent->restoreDownloadState(c.state);
        EXPECT_EQ(DHTService::wantsPeers(torrent.get()), c.wants);
    }
    EXPECT_FALSE(DHTService::wantsPeers(nullptr));
    Settings::useFile(dir.filePath("scratch.conf"));
}
