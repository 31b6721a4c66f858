#include "engine/tracker/AnnounceSubject.h"
#include "engine/tracker/TorrentScraper.h"
#include "engine/tracker/TrackerWire.h"
#include "support/OpentrackerProcess.h"
#include "support/WaitUntil.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "kit/Settings.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct Client : AnnounceSubject
{
    QByteArray hash;
    QByteArray id;
    quint16 port = 0;
    quint64 left = 0;
    QStringList trackers;
    QList<AnnounceReply::Peer> peers;

    QByteArray infoHash() const override { return hash; }
    QByteArray peerId() const override { return id; }
    quint16 listeningPort() const override { return port; }
    quint64 bytesUploaded() const override { return 0; }
    quint64 bytesDownloaded() const override { return 0; }
    quint64 bytesLeft() const override { return left; }
    QStringList httpTrackers() const override { return trackers; }
    bool isPaused() const override { return false; }
    void addPeers(const QList<AnnounceReply::Peer>& more) override { peers += more; }
};

bool announce(TrackerWire& wire, TrackerEvent event)
{
    QSignalSpy ok(&wire, &TrackerWire::announced);
    QSignalSpy failed(&wire, &TrackerWire::announceFailed);
    wire.sendTrackerEvent(event);
    waitUntil([&] { return !ok.isEmpty() || !failed.isEmpty(); }, 10000);
    return !ok.isEmpty();
}

// A seeder and a leecher announce to a real opentracker: the leecher hears of the seeder, the
// scrape counts one of each, and a "stopped" takes the seeder out again.
TEST(OpentrackerAnnounce, PeersAndCountsComeBackFromARealTracker)
{
    if (!OpentrackerProcess::isInstalled())
        GTEST_SKIP() << "opentracker is not installed";
    QTemporaryDir dir;
    Settings::useFile(dir.filePath("Ombrelay.conf"));
    const QByteArray hash = QByteArray::fromHex("5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a");
    OpentrackerProcess tracker;
    ASSERT_TRUE(tracker.start({hash}));

    Client seeder;
    seeder.hash = hash;
    seeder.id = "-OM2168-000000000001";
    seeder.port = 51001;
    seeder.trackers = {tracker.announceAddress()};
    Client leecher = seeder;
    leecher.id = "-OM2168-000000000002";
    leecher.port = 51002;
    leecher.left = 1 << 20;

    TrackerWire seederWire(seeder);
    TrackerWire leecherWire(leecher);
    ASSERT_TRUE(announce(seederWire, TrackerEvent::Started));
    ASSERT_TRUE(announce(leecherWire, TrackerEvent::Started));
    const quint32 loopback = inet_addr("127.0.0.1");
    EXPECT_TRUE(leecher.peers.contains(AnnounceReply::Peer{loopback, 51001}));
    EXPECT_EQ(leecherWire.seeds(), 1);
    EXPECT_EQ(leecherWire.leeches(), 1);
    EXPECT_GT(leecherWire.interval(), 0);
    EXPECT_GT(leecherWire.nextAnnounceInMs(), 0);

    TorrentScraper scraper(hash, {tracker.announceAddress()});
    QSignalSpy finished(&scraper, &TorrentScraper::finished);
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }, 10000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(scraper.seeds(), 1);
    EXPECT_EQ(scraper.leeches(), 1);

    ASSERT_TRUE(announce(seederWire, TrackerEvent::Stopped));
    EXPECT_EQ(seederWire.nextAnnounceInMs(), -1);
    ASSERT_TRUE(announce(leecherWire, TrackerEvent::None));
    EXPECT_EQ(leecherWire.seeds(), 0);
}

}  // namespace
