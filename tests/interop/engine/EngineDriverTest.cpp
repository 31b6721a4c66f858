// The whole engine as a black box: the headless driver downloads from and seeds to libtorrent on
// loopback, finds its peers through opentracker, and survives a peer that sends wrong data.
#include "interop/support/Aria2Peer.h"
#include "interop/support/EngineDriver.h"
#include "interop/support/LibtorrentPeer.h"
#include "engine/peers/TorrentPeers.h"
#include "engine/torrent/TorrentLine.h"
#include "support/LoopbackPorts.h"
#include "support/OpentrackerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace ombrelay::test;

namespace {

// Transmission with everything but loopback TCP switched off, seeding from `folder` on a port the system
// picks.
std::unique_ptr<HelperProcess> transmissionSeeder(const QString& torrent, const QString& folder, const QString& config)
{
    QDir().mkpath(config);
    QFile settings(QDir(config).filePath(QStringLiteral("settings.json")));
    if (!settings.open(QIODevice::WriteOnly))
        return nullptr;
    settings.write(R"({"dht-enabled": false, "lpd-enabled": false, "pex-enabled": false,
"utp-enabled": false, "port-forwarding-enabled": false, "bind-address-ipv4": "127.0.0.1",
"bind-address-ipv6": "::1", "peer-port": 0, "encryption": 1, "blocklist-enabled": false})");
    settings.close();
    // Unbuffered, so its status line ("Seeding, ...") shows once the data is checked.
    return std::make_unique<HelperProcess>(
        QStringLiteral("/usr/bin/stdbuf"),
        QStringList{QStringLiteral("-o0"), QStringLiteral("/usr/bin/transmission-cli"), QStringLiteral("-g"),
                    config, QStringLiteral("-w"), folder, QStringLiteral("-p"), QStringLiteral("0"),
                    QStringLiteral("-M"), QStringLiteral("-ep"), torrent});
}

class EngineDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QFileInfo::exists(kPython));
    }

    // Writes seed/payload.bin and seed/payload.torrent; answers the info hash in hex.
    QByteArray makePayload(int size, const QString& announce = {}, int files = 1, bool padded = false)
    {
        QStringList options{QStringLiteral("--size"), QString::number(size), QStringLiteral("--files"), QString::number(files)};
        if (!announce.isEmpty())
            options << QStringLiteral("--announce") << announce;
        if (padded)
            options << QStringLiteral("--padded");
        return ombrelay::test::makePayload(seedFolder(), options);
    }
    // A libtorrent peer on the payload for two minutes; "ready <port>" has been read.
    std::unique_ptr<HelperProcess> libtorrent(const char* role, const QString& folder, quint16* port,
                                              const char* encryption, const QStringList& extra = {})
    {
        return libtorrentPeer(role, torrentPath(), folder, encryption, 120, port, extra);
    }
    // Digests of the multi-file payload's files under `folder`.
    static QList<QByteArray> folderDigests(const QString& folder)
    {
        QList<QByteArray> digests;
        const QDir payload(QDir(folder).filePath(QStringLiteral("payload")));
        for (const QString& name : payload.entryList(QDir::Files, QDir::Name))
            digests.append(fileDigest(payload.filePath(name)));
        return digests;
    }
    // A payload whose torrent announces to `tracker`, started with its hash whitelisted; the hash.
    // The info hash leaves the announce address out: learn it, whitelist it, then name the tracker.
    QByteArray makeTrackedPayload(OpentrackerProcess& tracker, int size)
    {
        const QByteArray hash = makePayload(size);
        if (!tracker.start({QByteArray::fromHex(hash)}) || makePayload(size, tracker.announceAddress()) != hash)
            return {};
        return hash;
    }
    // The driver seeding the payload (by default until it uploaded its size once); its data has been
    // checked.
    HelperProcess& startSeedingDriver(EngineDriver& driver, const QByteArray& hash,
                                      const EngineDriver::Options& options = {{}, 1.0, 120})
    {
        QDir().mkpath(driver.downloadFolder());
        QFile::copy(payloadPath(), QDir(driver.downloadFolder()).filePath(QStringLiteral("payload.bin")));
        HelperProcess& run = driver.start({torrentPath()}, options);
        EXPECT_EQ(run.waitForLine("state " + hash + " complete", 60000), QByteArray());
        return run;
    }
    // A libtorrent seed of the payload behind flaky_relay.py run with `options`: the ports of its "ready" line.
    QList<QByteArray> relayToSeed(const QStringList& options)
    {
        relay.reset();
        quint16 seedPort = 0;
        relayedSeeder = libtorrent("seed", seedFolder(), &seedPort, "enabled");
        relay = std::make_unique<HelperProcess>(kPython, QStringList{peerScript("flaky_relay.py"), "--target",
                                                                     QString::number(seedPort), "--seconds", "120"} + options);
        return seedPort == 0 ? QList<QByteArray>() : relay->waitForLine("ready", 30000).split(' ');
    }
    QString seedFolder() const { return root.filePath(QStringLiteral("seed")); }
    QString torrentPath() const { return root.filePath(QStringLiteral("seed/payload.torrent")); }
    QString payloadPath() const { return root.filePath(QStringLiteral("seed/payload.bin")); }
    QByteArray downloadedDigest(EngineDriver& driver) const
    {
        return fileDigest(QDir(driver.downloadFolder()).filePath(QStringLiteral("payload.bin")));
    }

    QTemporaryDir root;
    std::unique_ptr<HelperProcess> relayedSeeder, relay;
};

TEST_F(EngineDriverTest, DownloadsFromALibtorrentSeederThatRequiresEncryption)
{
    const QByteArray hash = makePayload(5'000'000);
    quint16 seedPort = 0;
    auto seeder = libtorrent("seed", seedFolder(), &seedPort, "required");
    ASSERT_NE(seedPort, 0);

    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    HelperProcess& run = driver.start({torrentPath()}, {{QStringLiteral("127.0.0.1:%1").arg(seedPort)}});
    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 90000), QByteArray());
    ASSERT_TRUE(run.waitForExit(10000));
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_EQ(downloadedDigest(driver), fileDigest(payloadPath()));
}

// Each mainstream client seeds a multi-file torrent whose blocks straddle its files.
TEST_F(EngineDriverTest, DownloadsAMultiFileTorrentFromEachClient)
{
    const QByteArray hash = makePayload(1'500'000, {}, 5);
    const QList<QByteArray> expected = folderDigests(seedFolder());
    ASSERT_EQ(expected.size(), 5);
    for (const char* client : {"libtorrent", "aria2", "transmission"}) {
        SCOPED_TRACE(client);
        quint16 port = 0;
        std::unique_ptr<HelperProcess> seeder;
        if (qstrcmp(client, "libtorrent") == 0) {
            seeder = libtorrent("seed", seedFolder(), &port, "enabled");
        } else {
            seeder = qstrcmp(client, "aria2") == 0
                         ? aria2RequiringEncryption(torrentPath(), seedFolder())
                         : transmissionSeeder(torrentPath(), seedFolder(), root.filePath(QStringLiteral("transmission")));
            port = seeder ? listeningPortOf(seeder->processId(), 30000) : 0;
        }
        ASSERT_TRUE(seeder && port != 0);
        // libtorrent is ready and aria2 listens once its data is checked; Transmission listens before.
        if (qstrcmp(client, "transmission") == 0) {
            ASSERT_TRUE(seeder->waitForOutput("Seeding", 30000)) << "Transmission never checked its data";
        }

        EngineDriver driver(root.filePath(QStringLiteral("leech-%1").arg(QLatin1String(client))));
        HelperProcess& run = driver.start({torrentPath()}, {{QStringLiteral("127.0.0.1:%1").arg(port)}, 0, 90});
        EXPECT_EQ(run.waitForLine("state " + hash + " complete", 90000), QByteArray());
        EXPECT_TRUE(run.waitForExit(10000));
        EXPECT_EQ(folderDigests(driver.downloadFolder()), expected);
    }
}

// A torrent made as current clients make them, with padding entries that align each file to a piece (two
// of one length share a path): the driver downloads it from libtorrent without writing the padding, then
// a driver that finds the files in place checks them and seeds them to libtorrent, which checks the
// padding's zeros in the pieces it is sent.
TEST_F(EngineDriverTest, APaddedTorrentIsDownloadedCheckedAndSeededWithoutItsPadding)
{
    const QByteArray hash = makePayload(600'000, {}, 3, true);
    const QList<QByteArray> expected = folderDigests(seedFolder());
    ASSERT_EQ(expected.size(), 3);
    quint16 seedPort = 0;
    auto seeder = libtorrent("seed", seedFolder(), &seedPort, "enabled");
    ASSERT_NE(seedPort, 0);
    EngineDriver leech(root.filePath(QStringLiteral("leech")));
    HelperProcess& download = leech.start({torrentPath()}, {{QStringLiteral("127.0.0.1:%1").arg(seedPort)}, 0, 90});
    EXPECT_EQ(download.waitForLine("state " + hash + " complete", 90000), QByteArray());
    ASSERT_TRUE(download.waitForExit(10000));
    const QDir leeched(QDir(leech.downloadFolder()).filePath(QStringLiteral("payload")));
    EXPECT_EQ(leeched.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"file0.bin", "file1.bin", "file2.bin"}));
    EXPECT_EQ(folderDigests(leech.downloadFolder()), expected);

    EngineDriver driver(root.filePath(QStringLiteral("seeder")));
    ASSERT_TRUE(QDir().mkpath(driver.downloadFolder()));
    ASSERT_TRUE(QDir().rename(leeched.path(), QDir(driver.downloadFolder()).filePath(QStringLiteral("payload"))));
    HelperProcess& run = driver.start({torrentPath()}, {{}, 1.0, 120});
    ASSERT_EQ(run.waitForLine("state " + hash + " complete", 60000), QByteArray()) << "the files did not check";
    quint16 fetchPort = 0;
    const QString fetched = root.filePath(QStringLiteral("fetched"));
    auto fetcher = libtorrent("fetch", fetched, &fetchPort, "enabled", {QStringLiteral("--connect"), driver.address()});
    EXPECT_EQ(fetcher->waitForLine("complete", 90000), QByteArray());
    EXPECT_EQ(folderDigests(fetched), expected);
}

TEST_F(EngineDriverTest, SeedsToAria2RequiringEncryption)
{
    if (!OpentrackerProcess::isInstalled())
        GTEST_SKIP() << "opentracker is not installed";
    // aria2 dials only peers it learns of: both announce to a tracker.
    OpentrackerProcess tracker;
    const QByteArray hash = makeTrackedPayload(tracker, 2'000'000);
    ASSERT_FALSE(hash.isEmpty());
    EngineDriver driver(root.filePath(QStringLiteral("seeder")));
    HelperProcess& run = startSeedingDriver(driver, hash);

    const QString fetched = root.filePath(QStringLiteral("aria2"));
    auto fetcher = aria2RequiringEncryption(torrentPath(), fetched, tracker.announceAddress(), Aria2Completion::Leaves);
    ASSERT_TRUE(fetcher->waitForExit(60000));
    EXPECT_EQ(fileDigest(QDir(fetched).filePath(QStringLiteral("payload.bin"))), fileDigest(payloadPath()));
    ASSERT_TRUE(run.waitForExit(30000)) << "the driver did not reach its upload ratio";
    EXPECT_EQ(run.exitCode(), 0);
}

TEST_F(EngineDriverTest, SeedsToALibtorrentDownloaderThatRequiresEncryption)
{
    const QByteArray hash = makePayload(3'000'000);
    EngineDriver driver(root.filePath(QStringLiteral("seeder")));
    HelperProcess& run = startSeedingDriver(driver, hash);

    quint16 fetchPort = 0;
    const QString fetched = root.filePath(QStringLiteral("fetched"));
    auto fetcher =
        libtorrent("fetch", fetched, &fetchPort, "required", {QStringLiteral("--connect"), driver.address()});
    EXPECT_EQ(fetcher->waitForLine("complete", 90000), QByteArray());
    EXPECT_EQ(fileDigest(QDir(fetched).filePath(QStringLiteral("payload.bin"))), fileDigest(payloadPath()));
    ASSERT_TRUE(run.waitForExit(30000)) << "the driver did not reach its upload ratio";
    EXPECT_EQ(run.exitCode(), 0);
}

// The user turns seeding off, on and off again: each time it goes off, the libtorrent leechers then
// connected are dropped, the second time as the first. (Raising the ratio: tests/engine/lifecycle.)
TEST_F(EngineDriverTest, EachTimeSeedingIsTurnedOffTheLeechersAreDropped)
{
    const QByteArray hash = makePayload(3'000'000);
    EngineDriver driver(root.filePath(QStringLiteral("seeder")));
    HelperProcess& run = startSeedingDriver(driver, hash, {{}, 100.0, 120});
    // The setting as the preferences window sets it, and whether a leecher comes while it seeds.
    const QPair<QByteArray, bool> steps[] = {{"", true}, {"kSeedingEnabled 0", false}, {"kSeedingEnabled 1", true},
                                             {"kSeedingEnabled 0", false}};
    std::vector<std::unique_ptr<HelperProcess>> leechers;
    for (const auto& step : steps) {
        const auto& [setting, seeding] = step;
        SCOPED_TRACE(testing::Message() << "step " << &step - steps);
        if (!setting.isEmpty()) {
            run.writeLine("set " + setting);
            ASSERT_EQ(run.waitForLine("set", 10000), setting);
        }
        if (seeding)
            leechers.push_back(libtorrent("fetch", root.filePath(QStringLiteral("fetched%1").arg(leechers.size())), nullptr,
                                          "enabled", {"--connect", driver.address(), "--download-rate", "40000"}));
        QByteArray count;  // of the leechers connected, once some are or none is
        for (int line = 0; line < 100; ++line)
            if ((count = run.waitForLine("peers " + hash, 30000)).isEmpty() || (count.toInt() > 0) == seeding)
                break;
        EXPECT_TRUE(!count.isEmpty() && (count.toInt() > 0) == seeding) << (seeding ? "no leecher came" : "the leechers stayed");
    }
}

// A seed keeps a slow leecher, which sends it nothing, while its peers database holds many peers known
// and not connected (peers that answer a handshake and leave, as in any large swarm). The connection
// manager's clock runs 20 times faster, so the 65 s pruning and the 180 s of silence it looks for pass
// within seconds.
TEST_F(EngineDriverTest, ASeedKeepsASlowLeecherWhileManyKnownPeersAreNotConnected)
{
    constexpr int kScale = 20;
    const QByteArray hash = makePayload(1'000'000);
    HelperProcess idle(kPython, {peerScript("idle_peers.py"), QStringLiteral("--count"), QStringLiteral("14"),
                                 QStringLiteral("--seconds"), QStringLiteral("60")});
    const QList<QByteArray> ports = idle.waitForLine("ready", 30000).split(' ');
    ASSERT_EQ(ports.size(), 14);
    EngineDriver driver(root.filePath(QStringLiteral("seeder")));
    // Kept seeding: what it sent may wait in the socket buffers while the leecher reads slowly.
    EngineDriver::Options options{{}, 100.0, 55};
    for (const QByteArray& port : ports)
        options.peers << QStringLiteral("127.0.0.1:") + QString::fromLatin1(port);
    options.peerTimeScale = kScale;
    HelperProcess& run = startSeedingDriver(driver, hash, options);

    QElapsedTimer timer;
    timer.start();
    const QString fetched = root.filePath(QStringLiteral("fetched"));
    quint16 fetchPort = 0;
    auto fetcher = libtorrentPeer("fetch", torrentPath(), fetched, "enabled", 55, &fetchPort,
                                  {QStringLiteral("--connect"), driver.address(), QStringLiteral("--download-rate"),
                                   QStringLiteral("60000")});
    EXPECT_EQ(fetcher->waitForLine("disconnects", 55000), QByteArray("0"))
        << "the seed dropped its leecher; the leecher's log: " << fetcher->standardError().right(3000).constData()
        << "\nthe seed's: " << run.standardError().right(3000).constData();
    EXPECT_EQ(fetcher->waitForLine("complete", 5000), QByteArray());
    EXPECT_GT(timer.elapsed(), (ombrelay::TorrentPeers::kSilentPeerMs + ombrelay::TorrentLine::kOneMinuteTimerInterval) / kScale)
        << "the download ended before the pruning rule could act";
    EXPECT_EQ(fileDigest(QDir(fetched).filePath(QStringLiteral("payload.bin"))), fileDigest(payloadPath()));
    EXPECT_FALSE(run.waitForExit(0)) << "the seed stopped";
}

TEST_F(EngineDriverTest, FindsItsSeederThroughTheTracker)
{
    if (!OpentrackerProcess::isInstalled())
        GTEST_SKIP() << "opentracker is not installed";
    OpentrackerProcess tracker;
    const QByteArray hash = makeTrackedPayload(tracker, 2'000'000);
    ASSERT_FALSE(hash.isEmpty());
    quint16 seedPort = 0;
    auto seeder = libtorrent("seed", seedFolder(), &seedPort, "disabled");
    ASSERT_NE(seedPort, 0);

    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    // Kept seeding (the ratio is out of reach) so the tracker still lists it when scraped.
    HelperProcess& run = driver.start({torrentPath()}, {{}, 100.0, 120});
    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 120000), QByteArray());
    EXPECT_EQ(downloadedDigest(driver), fileDigest(payloadPath()));

    const QString scrape = QStringLiteral("http://127.0.0.1:%1/scrape?info_hash=%2")
                               .arg(tracker.port())
                               .arg(QString::fromLatin1(QByteArray::fromHex(hash).toPercentEncoding()));
    int seeds = 0;
    for (int attempt = 0; attempt < 20 && seeds < 2; ++attempt) {
        HelperProcess scraper(kPython, {QStringLiteral("-c"), QStringLiteral(
            "import sys, urllib.request, libtorrent as lt\n"
            "files = lt.bdecode(urllib.request.urlopen(sys.argv[1], timeout=5).read())[b'files']\n"
            "print('seeds', sum(f[b'complete'] for f in files.values()))"), scrape});
        seeds = scraper.waitForLine("seeds", 10000).toInt();
        if (seeds < 2)
            QThread::msleep(500);
    }
    EXPECT_EQ(seeds, 2) << "the tracker does not count the finished download as a seed";
}

// Nothing but keep-alives flows on a connection held choked: it stays open past the 5 minutes after
// which a silent peer is dropped, and our keep-alives keep the other side from dropping us (mainstream
// clients drop silent peers after 2 minutes). Our peers' clock runs 30 times faster: 20 s here are ten
// of its minutes, and the peer's keep-alive every 4 s is one every two minutes of ours.
TEST_F(EngineDriverTest, AChokedConnectionStaysOpenPastFiveMinutes)
{
    const QByteArray hash = makePayload(1'000'000);
    HelperProcess peer(kPython, {peerScript("choking_peer.py"), QStringLiteral("--torrent"), torrentPath(),
                                 QStringLiteral("--seconds"), QStringLiteral("20"), QStringLiteral("--keep-alive"),
                                 QStringLiteral("4")});
    const quint16 port = peer.waitForLine("ready", 30000).toUShort();
    ASSERT_NE(port, 0);

    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    EngineDriver::Options options{{QStringLiteral("127.0.0.1:%1").arg(port)}, 0, 120};
    options.peerTimeScale = 30;
    HelperProcess& run = driver.start({torrentPath()}, options);
    EXPECT_EQ(run.waitForLine("state " + hash + " downloading", 30000), QByteArray());
    const QByteArray keepAlives = peer.waitForLine("open", 60000);
    EXPECT_GE(keepAlives.toInt(), 4) << "one keep-alive at least every 90 s of the peers' clock";
}

// The only seed sits behind a flaky link. Loaded, it stalls the first dial after its key came and resets
// the redial in plain; the next one gets through. Just restarted, it turns peers away until its data is
// loaded (its host takes a connection and closes it): the first four attempts meet that, an encrypted
// connection and its plain retry each, and it is dialled again after them (the peers' clock runs ten
// times faster, so they come within seconds). No tracker or DHT could name the seed again.
TEST_F(EngineDriverTest, RedialsALoneSeedWhoseFirstConnectionsFailed)
{
    const QByteArray hash = makePayload(1'000'000);
    const struct
    {
        QStringList plan;
        double peerTimeScale;
        QList<QPair<int, QByteArray>> connections;  // as the relay saw them
    } cases[] = {{{"stall", "reset"}, 0, {{1, "encrypted stall"}, {2, "plain reset"}, {3, "encrypted relay"}}},
                 {QStringList(8, "reset"), 10, {{9, "encrypted relay"}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan.join(',').toStdString());
        const quint16 port = relayToSeed({"--fail", c.plan.join(',')}).value(0).toUShort();
        ASSERT_NE(port, 0);
        EngineDriver driver(root.filePath(QStringLiteral("leech%1").arg(c.plan.size())));
        EngineDriver::Options options{{QStringLiteral("127.0.0.1:%1").arg(port)}, 0, 90};
        options.peerTimeScale = c.peerTimeScale;
        HelperProcess& run = driver.start({torrentPath()}, options);
        EXPECT_EQ(run.waitForLine("state " + hash + " complete", 90000), QByteArray());
        ASSERT_TRUE(run.waitForExit(10000));
        EXPECT_EQ(run.exitCode(), 0);
        EXPECT_EQ(downloadedDigest(driver), fileDigest(payloadPath()));
        for (const auto& [number, what] : c.connections)
            EXPECT_EQ(relay->waitForLine("connection " + QByteArray::number(number), 1000), what);
    }
}

// A tracker hands a torrent back our own address: the dial reaches our own listener, which tells it by
// our peer id and answers with it. The address is never dialled again (the peers' clock runs ten times
// faster: the redials of a lost dial would come within the run).
TEST_F(EngineDriverTest, NeverDialsAgainTheAddressOfItsOwnListener)
{
    if (!OpentrackerProcess::isInstalled())
        GTEST_SKIP() << "opentracker is not installed";
    OpentrackerProcess tracker;
    const QByteArray hash = makeTrackedPayload(tracker, 1'000'000);
    ASSERT_FALSE(hash.isEmpty());
    EngineDriver driver(root.filePath(QStringLiteral("alone")));
    EngineDriver::Options options{{}, 0, 8};
    options.peerTimeScale = 10;
    HelperProcess& run = driver.start({torrentPath()}, options);
    ASSERT_TRUE(run.waitForExit(20000));
    EXPECT_EQ(run.exitCode(), 2) << "nobody to download from: the run ends at its time-out";
    // Each side of a loop says so; the dialling side names our own port.
    const QByteArray log = run.standardError();
    const QByteArray dialling = "127.0.0.1:" + QByteArray::number(driver.port()) + ": connected to ourselves";
    EXPECT_EQ(log.count("connected to ourselves") - log.count(dialling), 1) << "dials that reached us: " << log.constData();
}

// Under an upload limit every leecher gets its share: six libtorrent leechers, each on an address of
// its own, download from a seed limited to 100 kB/s, and each receives bytes.
TEST_F(EngineDriverTest, UnderAnUploadLimitEveryLeecherGetsBytes)
{
    const QByteArray hash = makePayload(3'000'000);
    EngineDriver driver(root.filePath(QStringLiteral("seeder")));
    ASSERT_TRUE(QDir().mkpath(driver.dataFolder()));
    ASSERT_TRUE(writeFile(QDir(driver.dataFolder()).filePath(QStringLiteral("Ombrelay.conf")),
                          "[General]\nkUploadLimitEnabled=true\nkUploadLimit=100\n"));
    startSeedingDriver(driver, hash, {{}, 100.0, 120});

    std::vector<std::unique_ptr<HelperProcess>> leechers;
    for (int host = 2; host <= 7; ++host)
        leechers.push_back(libtorrentPeer(
            "fetch", torrentPath(), root.filePath(QStringLiteral("fetch-%1").arg(host)), "enabled", 120, nullptr,
            {QStringLiteral("--connect"), driver.address(), QStringLiteral("--host"), QStringLiteral("127.0.0.%1").arg(host)}));
    QElapsedTimer timer;
    timer.start();
    for (size_t i = 0; i < leechers.size(); ++i)
        EXPECT_EQ(leechers[i]->waitForLine("received", int(std::max<qint64>(1, 60000 - timer.elapsed()))), QByteArray())
            << "leecher at 127.0.0." << i + 2 << " got nothing";
}

TEST_F(EngineDriverTest, BansAPeerThatSendsWrongDataAndCompletesFromAnother)
{
    const QByteArray hash = makePayload(1'000'000);
    // On an address of its own: a ban holds for the address, whatever the port.
    HelperProcess bad(kPython, {peerScript("bad_seed.py"), QStringLiteral("--torrent"), torrentPath(),
                                QStringLiteral("--seconds"), QStringLiteral("120"), QStringLiteral("--host"),
                                QStringLiteral("127.0.0.2")});
    const quint16 badPort = bad.waitForLine("ready", 30000).toUShort();
    ASSERT_NE(badPort, 0);
    quint16 goodPort = 0;
    auto good = libtorrent("seed", seedFolder(), &goodPort, "enabled");
    ASSERT_NE(goodPort, 0);

    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    // The bad peer first, alone for a moment, so its blocks reach the store before the good ones.
    HelperProcess& run = driver.start({torrentPath()}, {{QStringLiteral("127.0.0.2:%1").arg(badPort),
                                                         QStringLiteral("127.0.0.1:%1").arg(goodPort)}});
    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 90000), QByteArray());
    ASSERT_TRUE(run.waitForExit(10000));
    EXPECT_EQ(downloadedDigest(driver), fileDigest(payloadPath()));
    EXPECT_TRUE(run.standardError().contains("failed its check")) << "the bad peer's blocks never reached the check";
}

// The piece that completes the download fails its check when every other request was answered: the
// connections still open ask for it again at once, no new peer needed. The seeder is reached over two
// links, one of which spoils that piece's last block.
TEST_F(EngineDriverTest, APieceThatFailsLastIsAskedForAgain)
{
    const QByteArray hash = makePayload(1'000'000);
    const QList<QByteArray> ports = relayToSeed({"--spoil-last", torrentPath()});
    ASSERT_EQ(ports.size(), 2);

    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    HelperProcess& run = driver.start({torrentPath()}, {{QStringLiteral("127.0.0.1:") + QString::fromLatin1(ports[0]),
                                                         QStringLiteral("127.0.0.2:") + QString::fromLatin1(ports[1])},
                                                        0, 90});
    EXPECT_FALSE(relay->waitForLine("spoiled", 60000).isEmpty()) << "no block was spoiled";
    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 15000), QByteArray());
    EXPECT_EQ(downloadedDigest(driver), fileDigest(payloadPath()));
    EXPECT_TRUE(run.standardError().contains("failed its check"));
}

// A peer takes requests and answers none, keeping its connection open with keep-alives, while the last
// piece is missing from every peer: the blocks it holds are asked of the others, so everything they have
// arrives, and the download completes once a seeder comes. Our peers' clock runs 30 times faster.
TEST_F(EngineDriverTest, BlocksHeldByAPeerThatSendsNothingComeFromTheOthers)
{
    const QByteArray hash = makePayload(1'000'000);
    // All but the last piece (576 bytes): a peer that has the rest is still downloading.
    const QString partial = root.filePath(QStringLiteral("partial"));
    ASSERT_TRUE(writeFile(partial + "/payload.bin", readFile(payloadPath()).chopped(576) + QByteArray(576, '\x5A')));
    quint16 partialPort = 0;
    auto others = libtorrent("fetch", partial, &partialPort, "enabled");
    ASSERT_NE(partialPort, 0);
    HelperProcess holder(kPython, {peerScript("choking_peer.py"), QStringLiteral("--torrent"), torrentPath(),
                                   QStringLiteral("--seconds"), QStringLiteral("60"), QStringLiteral("--keep-alive"),
                                   QStringLiteral("2"), QStringLiteral("--unchoke")});
    const quint16 holderPort = holder.waitForLine("ready", 30000).toUShort();
    ASSERT_NE(holderPort, 0);

    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    EngineDriver::Options options{{QStringLiteral("127.0.0.1:%1").arg(holderPort),
                                   QStringLiteral("127.0.0.1:%1").arg(partialPort)},
                                  0, 90};
    options.peerTimeScale = 30;
    HelperProcess& run = driver.start({torrentPath()}, options);
    EXPECT_EQ(holder.waitForLine("requested", 30000), QByteArray());
    // 61 of 62 pieces: everything but the last one's 576 bytes.
    EXPECT_FALSE(run.waitForLine("progress " + hash + " 0.9994", 30000).isEmpty()) << "what the others have did not all come";
    quint16 seedPort = 0;
    auto seeder = libtorrent("seed", seedFolder(), &seedPort, "enabled", {QStringLiteral("--connect"), driver.address()});
    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 30000), QByteArray());
    EXPECT_EQ(downloadedDigest(driver), fileDigest(payloadPath()));
}

}  // namespace
