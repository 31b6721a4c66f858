// Feeds as a black box: the headless feed driver follows feeds through a loopback proxy, keeps their
// items across a crash and a quit, and downloads an entry's torrent from libtorrent.
#include "search/feeds/FeedStorage.h"
#include "support/HttpTestServer.h"
#include "support/OpentrackerProcess.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// The driver as a child process; its JSON events are read while the test's own loop runs (the test
// server answers from that loop).
class Driver
{
public:
    Driver(const QString& data, const QUrl& proxy, const QStringList& extra)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(OMBRELAY_FEED_DRIVER),
                        QStringList{"--data", data, "--proxy", proxy.toString()} + extra);
    }
    ~Driver()  // kills it, as a crash would end it
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    // The first event named `name` (after those already read); empty after `timeoutMs`.
    QJsonObject waitForEvent(const QString& name, int timeoutMs)
    {
        QJsonObject found;
        waitUntil([&] {
            while (m_process.canReadLine()) {
                const QJsonObject event = QJsonDocument::fromJson(m_process.readLine()).object();
                if (event.value("event").toString() == name) {
                    found = event;
                    return true;
                }
            }
            return m_process.state() == QProcess::NotRunning && !m_process.canReadLine();
        }, timeoutMs);
        EXPECT_FALSE(found.isEmpty()) << "no " << qPrintable(name) << " event";
        return found;
    }
    void terminate() { m_process.terminate(); }
    // Its exit code once it ends; -1 when it crashed or did not end in time.
    int exitCode(int timeoutMs)
    {
        if (!waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
};

QByteArray rss(const QByteArray& items)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Driven</title>" + items + "</channel></rss>";
}

class FeedDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(server.listen());
    }
    QString data() const { return root.filePath("data"); }
    QUrl proxy() const { return server.url("/").adjusted(QUrl::RemovePath); }

    QTemporaryDir root;
    HttpTestServer server;
};

}  // namespace

TEST_F(FeedDriverTest, ItemsSurviveACrashAndAQuitMarksThemRead)
{
    int fetches = 0;
    server.route("/rss", [&](const HttpTestRequest&) {
        return ++fetches == 1 ? HttpTestResponse{200, {}, rss("<item><guid>a</guid></item><item><guid>b</guid></item>")}
                              : HttpTestResponse{304, {}, {}};
    });
    const QString path = QDir(data()).filePath("Storage/feeds.test-rss");
    {
        Driver driver(data(), proxy(), {"--feed", "http://feeds.test/rss"});
        EXPECT_EQ(driver.waitForEvent("feed-loaded", 10000).value("items").toInt(), 2);
        // Saved soon after the fetch, then killed.
        ASSERT_TRUE(waitUntil([&] { return FeedStorage::read(path).size() == 2; }, 10000));
    }
    {
        Driver driver(data(), proxy(), {"--feed", "http://feeds.test/rss"});
        const QJsonObject loaded = driver.waitForEvent("feed-loaded", 10000);
        EXPECT_EQ(loaded.value("items").toInt(), 2);  // from the file: this answer was a 304
        EXPECT_EQ(loaded.value("new").toInt(), 2);
        driver.terminate();
        EXPECT_EQ(driver.exitCode(10000), 0);
    }
    const QList<QVariantMap> stored = FeedStorage::read(path);
    ASSERT_EQ(stored.size(), 2);
    for (const QVariantMap& item : stored)
        EXPECT_EQ(item.value("isNew"), "0");
    EXPECT_EQ(fetches, 2);
}

TEST_F(FeedDriverTest, RefusesOutsideAddressesWithoutALoopbackProxy)
{
    const QList<QStringList> refused = {
        {"--data", data(), "--feed", "http://feeds.test/rss"},
        {"--data", data(), "--proxy", "http://192.0.2.1:8080", "--feed", "http://feeds.test/rss"},
        {"--data", data(), "--shorten", "http://127.0.0.1/x"},
    };
    for (const QStringList& arguments : refused) {
        QProcess process;
        process.start(QStringLiteral(OMBRELAY_FEED_DRIVER), arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 1) << qPrintable(arguments.join(' '));
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(FeedDriverTest, DownloadsAnEntrysTorrentFromLibtorrent)
{
    if (!OpentrackerProcess::isInstalled())
        GTEST_SKIP() << "opentracker is not installed";
    const QString script = test::testSourcePath(QStringLiteral("interop/peers/lt_peer.py"));
    const QString seed = root.filePath("seed");
    const auto make = [&](const QString& announce) {
        QProcess process;
        QStringList arguments{script, "make", "--dir", seed, "--size", "1500000"};
        if (!announce.isEmpty())
            arguments << "--announce" << announce;
        process.start(kPython, arguments);
        process.waitForFinished(60000);
        return process.readAllStandardOutput().trimmed();
    };
    // The info hash leaves the announce address out: learn it, whitelist it, then name the tracker.
    const QByteArray hash = make({});
    ASSERT_EQ(hash.size(), 40);
    OpentrackerProcess tracker;
    ASSERT_TRUE(tracker.start({QByteArray::fromHex(hash)}));
    ASSERT_EQ(make(tracker.announceAddress()), hash);
    QProcess seeder;
    seeder.start(kPython, {script, "seed", "--torrent", seed + "/payload.torrent", "--save", seed, "--encryption",
                           "enabled", "--seconds", "120"});
    ASSERT_TRUE(waitUntil([&] { return seeder.canReadLine() && seeder.readLine().startsWith("ready"); }, 60000));

    QFile torrent(seed + "/payload.torrent");
    ASSERT_TRUE(torrent.open(QIODevice::ReadOnly));
    server.route("/payload.torrent", HttpTestResponse{200, {{"Content-Type", "application/x-bittorrent"}}, torrent.readAll()});
    server.route("/rss", HttpTestResponse{200, {}, rss("<item><title>Payload</title><link>http://feeds.test/page</link>"
                                                       "<enclosure url=\"/payload.torrent\" type=\"application/x-bittorrent\"/></item>")});
    Driver driver(data(), proxy(), {"--feed", "http://feeds.test/rss", "--download", "--run", "120"});
    const QJsonObject line = driver.waitForEvent("torrent", 20000);
    EXPECT_EQ(line.value("infoHash").toString().toLatin1(), hash);
    EXPECT_EQ(line.value("title").toString(), "Payload");
    EXPECT_EQ(driver.waitForEvent("complete", 120000).value("infoHash").toString().toLatin1(), hash);
    EXPECT_EQ(driver.exitCode(20000), 0);
    QFile original(seed + "/payload.bin");
    QFile fetched(QDir(data()).filePath("download/payload.bin"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly) && fetched.open(QIODevice::ReadOnly));
    EXPECT_TRUE(original.readAll() == fetched.readAll());
    seeder.kill();
    seeder.waitForFinished(3000);
}
