#include "engine/bencode/Bencoder.h"
#include "engine/tracker/AnnounceRequest.h"
#include "engine/tracker/TorrentScraper.h"
#include "engine/tracker/TrackerScraper.h"
#include "support/HttpTestServer.h"
#include "TrackerReplies.h"
#include "support/WaitUntil.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QByteArray kHash = QByteArray::fromHex("0123456789abcdef0123456789abcdef01234567");

class TorrentScraperTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }
    QString tracker(const QByteArray& path) const { return server.url(path).toString(); }
    HttpTestServer server;
};

TEST_F(TorrentScraperTest, KeepsTheLargestCounts)
{
    server.route("/a/scrape", scrapeReply(kHash, 5, 10));
    server.route("/b/scrape.php", scrapeReply(kHash, 8, 2));
    TorrentScraper scraper(kHash, {tracker("/a/announce"), tracker("/b/announce.php"), tracker("/c/tracker")});
    QSignalSpy updates(&scraper, &TorrentScraper::swarmSizeUpdated);
    QSignalSpy finished(&scraper, &TorrentScraper::finished);
    EXPECT_EQ(scraper.runningScrapes(), 2);  // "/c/tracker" has no scrape address
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(updates.count(), 2);
    EXPECT_EQ(scraper.seeds(), 8);
    EXPECT_EQ(scraper.leeches(), 10);
    EXPECT_EQ(scraper.successfulScrapes(), 2);
    ASSERT_EQ(server.requestCount(), 2);
    for (const auto& request : server.requests())
        EXPECT_EQ(request.query, "info_hash=" + AnnounceRequest::escape(kHash));
}

TEST_F(TorrentScraperTest, FailedScrapesLeaveTheCountsAlone)
{
    server.route("/other/scrape", scrapeReply(QByteArray(20, 'x'), 9, 9));  // another torrent's entry only
    server.route("/html/scrape", HttpTestResponse{200, {}, "<html>"});
    TorrentScraper scraper(kHash, {tracker("/other/announce"), tracker("/html/announce"), "http://127.0.0.1:1/announce"});
    QSignalSpy finished(&scraper, &TorrentScraper::finished);
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(scraper.seeds(), 0);
    EXPECT_EQ(scraper.leeches(), 0);

    TorrentScraper none(kHash, {"udp://127.0.0.1:1/announce", "http://127.0.0.1:1/"});
    QSignalSpy noneFinished(&none, &TorrentScraper::finished);
    EXPECT_EQ(noneFinished.count(), 0);  // on the next pass, not inside the constructor
    ASSERT_TRUE(waitUntil([&] { return noneFinished.count() == 1; }));
    EXPECT_FALSE(noneFinished.first().first().toBool());
}

TEST_F(TorrentScraperTest, ScrapesAreBoundedAndLeaveTheQueueWithTheirOwner)
{
    EXPECT_EQ(TrackerScraper(kHash).timeoutMs(), 5000);
    EXPECT_EQ(TrackerScraper(kHash).maxBodySize(), PZHTTPLoader::kTrackerBodyCap);
    HttpTestResponse silent;
    silent.silent = true;
    server.route("/slow/scrape", silent);
    {
        TorrentScraper scraper(kHash, {tracker("/slow/announce")});
        EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 1);
        ASSERT_TRUE(server.waitForRequests(1));
    }
    EXPECT_EQ(PZHTTPLoaderQueued::currentLoaders(), 0);  // destroyed with its owner
}

}  // namespace
