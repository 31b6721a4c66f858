#include "engine/bencode/Bencoder.h"
#include "engine/tracker/AnnounceRequest.h"
#include "engine/tracker/AnnounceSubject.h"
#include "engine/tracker/TrackerWire.h"
#include "kit/Settings.h"
#include "kit/http/HttpCookieStore.h"
#include "support/HttpTestServer.h"
#include "TrackerReplies.h"
#include "support/WaitUntil.h"

#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct FakeSubject : AnnounceSubject
{
    QByteArray hash = QByteArray(20, '\x11');
    QByteArray id = "-OM2168-123456789012";
    quint64 uploaded = 1000;
    quint64 downloaded = 4000;
    quint64 left = 6000;
    QStringList trackers;
    bool paused = false;
    QList<QList<AnnounceReply::Peer>> peerBatches;

    QByteArray infoHash() const override { return hash; }
    QByteArray peerId() const override { return id; }
    quint16 listeningPort() const override { return 6881; }
    quint64 bytesUploaded() const override { return uploaded; }
    quint64 bytesDownloaded() const override { return downloaded; }
    quint64 bytesLeft() const override { return left; }
    QStringList httpTrackers() const override { return trackers; }
    bool isPaused() const override { return paused; }
    void addPeers(const QList<AnnounceReply::Peer>& peers) override { peerBatches.append(peers); }
};

class TrackerWireTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Settings::useFile(dir.filePath("Ombrelay.conf"));
        ASSERT_TRUE(server.listen());
    }

    QString tracker(const QByteArray& path) const { return server.url(path).toString(); }

    // Sends the event and waits for the wire's answer; true when it announced, false when it failed.
    bool announce(TrackerWire& wire, TrackerEvent event)
    {
        int answers = 0;
        bool ok = false;
        auto a = QObject::connect(&wire, &TrackerWire::announced, [&] { ++answers, ok = true; });
        auto f = QObject::connect(&wire, &TrackerWire::announceFailed, [&] { ++answers; });
        wire.sendTrackerEvent(event);
        EXPECT_TRUE(waitUntil([&] { return answers > 0; }));
        QObject::disconnect(a);
        QObject::disconnect(f);
        return ok;
    }

    QByteArray lastQueryValue(const char* name) const
    {
        return QUrlQuery(QString::fromLatin1(server.requests().last().query)).queryItemValue(name, QUrl::FullyEncoded).toLatin1();
    }

    QTemporaryDir dir;
    HttpTestServer server;
    FakeSubject subject;
};

TEST_F(TrackerWireTest, AnnouncesCountFromStartAndTakeInTheReply)
{
    server.route("/announce", HttpTestResponse{200, {}, bencodedReply({
        {"complete", 5}, {"incomplete", 7}, {"interval", 1800}, {"min interval", 5}, {"tracker id", "tid 1"},
        {"peers", QByteArray("\x0a\x00\x00\x01\x1a\xe1\x00\x00\x00\x00\x1a\xe1", 12)}})});
    subject.trackers = {tracker("/announce")};
    TrackerWire wire(subject);
    ASSERT_TRUE(announce(wire, TrackerEvent::Started));

    const HttpTestRequest first = server.requests().last();
    EXPECT_EQ(first.header("User-Agent"), "Ombrelay/" OMBRELAY_BUILD_VERSION);
    EXPECT_EQ(first.query, "info_hash=%11%11%11%11%11%11%11%11%11%11%11%11%11%11%11%11%11%11%11%11"
                           "&peer_id=%2DOM2168%2D123456789012&port=6881&numwant=200&compact=1"
                           "&supportcrypto=1&requirecrypto=0&uploaded=0&downloaded=0&left=6000&key="
                           + wire.trackerKey() + "&event=started");
    EXPECT_EQ(wire.seeds(), 5);
    EXPECT_EQ(wire.leeches(), 7);
    EXPECT_EQ(wire.interval(), 1800);
    EXPECT_EQ(wire.nextAnnounceInMs(), 25000);
    ASSERT_EQ(subject.peerBatches.size(), 1);
    EXPECT_EQ(subject.peerBatches.first().size(), 1);  // 0.0.0.0 left out
    EXPECT_EQ(wire.trackerId(), "tid 1");

    subject.uploaded += 500;
    subject.downloaded += 2000;
    subject.left -= 2000;
    server.route("/announce", HttpTestResponse{200, {}, bencodedReply({{"interval", 1800}})});
    wire.resyncWithTracker();
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(lastQueryValue("uploaded"), "500");
    EXPECT_EQ(lastQueryValue("downloaded"), "2000");
    EXPECT_EQ(lastQueryValue("left"), "4000");
    EXPECT_EQ(lastQueryValue("trackerid"), "tid%201");
    EXPECT_FALSE(server.requests().last().query.contains("event="));
    EXPECT_TRUE(waitUntil([&] { return wire.nextAnnounceInMs() == 600000; }));
}

TEST_F(TrackerWireTest, FailuresMoveToTheNextTrackerAndBackOff)
{
    HttpTestResponse silent;
    silent.silent = true;
    server.route("/silent/announce", silent);
    server.route("/refuses/announce", HttpTestResponse{200, {}, bencodedReply({{"failure reason", "unregistered"}})});
    server.route("/html/announce", HttpTestResponse{200, {}, "<html>maintenance</html>"});
    server.route("/broken/announce", HttpTestResponse{500, {}, bencodedReply({{"interval", 60}})});
    server.route("/good/announce", HttpTestResponse{200, {}, bencodedReply({{"interval", 60}})});
    subject.trackers = {tracker("/silent/announce"), tracker("/refuses/announce"), tracker("/html/announce"),
                        tracker("/broken/announce"), "http://127.0.0.1:1/announce", tracker("/good/announce")};
    const QStringList trackers = subject.trackers;
    TrackerWire wire(subject);
    wire.setTimeoutMs(300);  // the silent tracker is given up on in a moment
    const int expectedDelays[] = {60, 120, 240, 480, 960};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(wire.currentTracker(), trackers.at(i));
        EXPECT_FALSE(announce(wire, TrackerEvent::Started));
        EXPECT_EQ(wire.nextAnnounceInMs(), expectedDelays[i] * 1000);
    }
    EXPECT_EQ(wire.currentTracker(), trackers.at(5));
    EXPECT_TRUE(announce(wire, TrackerEvent::Started));
    EXPECT_EQ(wire.nextAnnounceInMs(), 600000);
    EXPECT_EQ(subject.trackers, trackers);  // nothing dropped
}

TEST_F(TrackerWireTest, BackOffStopsDoublingAtHalfAnHour)
{
    subject.trackers = {"http://127.0.0.1:1/announce"};
    TrackerWire wire(subject);
    int delay = 0;
    for (int i = 0; i < 7; ++i) {
        EXPECT_FALSE(announce(wire, TrackerEvent::None));
        delay = wire.nextAnnounceInMs();
    }
    EXPECT_EQ(delay, TrackerWire::kMaxRetrySeconds * 1000);
}

TEST_F(TrackerWireTest, StoppedSchedulesNothingAndPausedSendsNothing)
{
    server.route("/announce", HttpTestResponse{200, {}, bencodedReply({{"interval", 60}, {"min interval", 30}})});
    subject.trackers = {tracker("/announce")};
    TrackerWire wire(subject);
    ASSERT_TRUE(announce(wire, TrackerEvent::Started));
    EXPECT_EQ(wire.nextAnnounceInMs(), 50000);
    ASSERT_TRUE(announce(wire, TrackerEvent::Stopped));
    EXPECT_EQ(lastQueryValue("event"), "stopped");
    EXPECT_EQ(wire.nextAnnounceInMs(), -1);

    subject.paused = true;
    wire.resyncWithTracker();
    spinFor(200);
    EXPECT_EQ(server.requestCount(), 2);

    subject.trackers = {"http://127.0.0.1:1/announce"};
    EXPECT_FALSE(announce(wire, TrackerEvent::Stopped));
    EXPECT_EQ(wire.nextAnnounceInMs(), -1);
}

TEST_F(TrackerWireTest, AnnouncesFollowRedirects)
{
    server.route("/old/announce", HttpTestResponse::redirect("/new/announce?passkey=1"));
    server.route("/new/announce", HttpTestResponse{200, {}, bencodedReply({{"complete", 3}})});
    subject.trackers = {tracker("/old/announce")};
    TrackerWire wire(subject);
    ASSERT_TRUE(announce(wire, TrackerEvent::Started));
    EXPECT_EQ(wire.seeds(), 3);
    EXPECT_EQ(server.requests().last().path, "/new/announce");
}

TEST_F(TrackerWireTest, CookiesFollowTheSetting)
{
    server.route("/announce", HttpTestResponse{200, {}, bencodedReply({{"interval", 60}})});
    subject.trackers = {tracker("/announce")};
    HttpCookieStore::Cookie cookie;
    cookie.domain = "127.0.0.1";
    cookie.name = "uid";
    cookie.value = "7";
    ASSERT_TRUE(HttpCookieStore::setCookie(cookie));
    TrackerWire wire(subject);
    for (bool disabled : {false, true}) {
        Settings::instance().setBool("kDisableCookies", disabled);
        ASSERT_TRUE(announce(wire, TrackerEvent::None));
        EXPECT_EQ(server.requests().last().header("Cookie"), disabled ? QByteArray() : QByteArray("uid=7"));
    }
    HttpCookieStore::clear();
}

}  // namespace
