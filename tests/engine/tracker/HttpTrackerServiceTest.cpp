#include "engine/torrent/TorrentFixtures.h"
#include "engine/torrent/TorrentLine.h"
#include "engine/tracker/AnnouncePeers.h"
#include "engine/tracker/AnnounceRequest.h"
#include "engine/tracker/HttpTrackerService.h"
#include "engine/tracker/TrackerWire.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "support/HttpTestServer.h"
#include "TrackerReplies.h"
#include "support/WaitUntil.h"

#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct FakePeerSide : AnnouncePeers
{
    QList<std::pair<const TorrentLine*, int>> added;  // torrent, number of peers
    QByteArray peerId(const TorrentLine&) override { return "-OC2168-555555555555"; }
    void addPeers(TorrentLine& torrent, const QList<AnnounceReply::Peer>& peers) override
    {
        added.append({&torrent, int(peers.size())});
    }
};

class HttpTrackerServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Settings::useFile(dir.filePath("Ombrelay.conf"));
        ASSERT_TRUE(server.listen());
        TrackerService::install(&service);
    }
    void TearDown() override { TrackerService::install(nullptr); }

    TorrentLinePtr torrentWithTrackers(const QStringList& trackers)
    {
        BValue tiers = BValue::list();
        for (const QString& t : trackers)
            tiers.append(BValue::List{t});
        return TorrentLine::torrentLineForData(Bencoder::bencodingForObject(BValue::Dict{
            {"announce", trackers.first()}, {"announce-list", tiers}, {"info", singleFileInfo("file.iso", 100000)}}));
    }

    QString tracker(const QByteArray& path) const { return server.url(path).toString(); }

    QTemporaryDir dir;
    HttpTestServer server;
    FakePeerSide peers;
    HttpTrackerService service{peers, [] { return quint16(7000); }};
};

TEST_F(HttpTrackerServiceTest, AnnouncesTheTorrentAndHandsOverItsPeers)
{
    server.route("/announce", HttpTestResponse{200, {}, bencodedReply({{"interval", 1800}, {"complete", 4},
        {"peers", QByteArray("\x0a\x00\x00\x01\x1a\xe1\x0a\x00\x00\x02\x1a\xe1", 12)}})});
    TorrentLinePtr torrent = torrentWithTrackers({tracker("/announce")});
    ASSERT_TRUE(torrent);
    torrent->setDownloaded(40000);
    torrent->setBytesUploaded(123);
    service.announce(*torrent, TrackerEvent::Started);
    ASSERT_TRUE(waitUntil([&] { return !peers.added.isEmpty(); }));
    EXPECT_EQ(peers.added.first().first, torrent.get());
    EXPECT_EQ(peers.added.first().second, 2);
    const QUrlQuery query(QString::fromLatin1(server.requests().last().query));
    EXPECT_EQ(query.queryItemValue("info_hash", QUrl::FullyEncoded).toLatin1(), AnnounceRequest::escape(torrent->infoHash()));
    EXPECT_EQ(query.queryItemValue("peer_id"), "-OC2168-555555555555");
    EXPECT_EQ(query.queryItemValue("port"), "7000");
    EXPECT_EQ(query.queryItemValue("uploaded"), "0");
    EXPECT_EQ(query.queryItemValue("left"), "60000");
    EXPECT_EQ(query.queryItemValue("event"), "started");
    ASSERT_NE(service.wireFor(*torrent), nullptr);
    EXPECT_EQ(service.wireFor(*torrent)->seeds(), 4);
}

TEST_F(HttpTrackerServiceTest, StoppedOnRemovalStillReachesTheTracker)
{
    HttpTestResponse slow{200, {}, bencodedReply({{"interval", 1800}, {"peers", QByteArray("\x0a\x00\x00\x01\x1a\xe1", 6)}})};
    slow.delayMs = 200;
    server.route("/announce", slow);
    TorrentLinePtr torrent = torrentWithTrackers({tracker("/announce")});
    ASSERT_TRUE(torrent);
    service.announce(*torrent, TrackerEvent::Stopped);
    service.forget(*torrent);
    EXPECT_EQ(service.wireFor(*torrent), nullptr);
    torrent.reset();  // the torrent goes before the answer comes
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_TRUE(server.requests().first().query.endsWith("&event=stopped"));
    spinFor(400);  // the answer arrives and is dropped without a torrent
    EXPECT_TRUE(peers.added.isEmpty());
}

TEST_F(HttpTrackerServiceTest, ScrapesRaiseTheCountsAndPostTheNotification)
{
    TorrentLinePtr torrent = torrentWithTrackers({tracker("/a/announce"), tracker("/b/announce")});
    ASSERT_TRUE(torrent);
    server.route("/a/scrape", scrapeReply(torrent->infoHash(), 5, 10));
    server.route("/b/scrape", scrapeReply(torrent->infoHash(), 8, 2));
    QObject observer;
    int posts = 0;
    listenForNotification(&observer, "TorrentLineSwarmSizeUpdated", [&](const Notification&) { ++posts; }, torrent.get());
    torrent->scrapeTracker();  // goes through the installed service
    EXPECT_TRUE(torrent->hasScraped());
    ASSERT_TRUE(waitUntil([&] { return posts == 2; }));
    EXPECT_EQ(torrent->seeds(), 8);
    EXPECT_EQ(torrent->leeches(), 10);
    EXPECT_TRUE(torrent->hasScraped());
}

TEST_F(HttpTrackerServiceTest, FailedScrapesAllowAnotherTry)
{
    TorrentLinePtr torrent = torrentWithTrackers({tracker("/a/announce"), "http://127.0.0.1:1/announce"});
    ASSERT_TRUE(torrent);
    torrent->setSeeds(3);
    torrent->scrapeTracker();
    ASSERT_TRUE(torrent->hasScraped());
    ASSERT_TRUE(waitUntil([&] { return !torrent->hasScraped(); }));
    EXPECT_EQ(torrent->seeds(), 3);
}

TEST_F(HttpTrackerServiceTest, AScrapeAnsweringAfterItsTorrentWentTouchesNothing)
{
    TorrentLinePtr torrent = torrentWithTrackers({tracker("/a/announce"), tracker("/b/announce")});
    ASSERT_TRUE(torrent);
    server.route("/a/scrape", scrapeReply(torrent->infoHash(), 5, 10));
    HttpTestResponse failing{500, {}, {}};
    failing.delayMs = 100;
    server.route("/b/scrape", failing);
    QObject observer;
    int posts = 0;
    listenForNotification(&observer, "TorrentLineSwarmSizeUpdated", [&](const Notification&) { ++posts; });
    torrent->scrapeTracker();
    torrent.reset();  // the scraper's deletion waits for the event loop; its answers come first
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 2; }));
    spinFor(400);
    EXPECT_EQ(posts, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
