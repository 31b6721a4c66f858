// The whole engine finds its peers through the DHT alone: the torrent names no tracker, only a node on
// loopback run by the test (krpc_node.py, or one of three libtorrent sessions), and the headless driver is
// given nothing but the torrent.
#include "engine/dht/DHTBucket.h"
#include "engine/dht/DHTPeerLookup.h"
#include "interop/support/EngineDriver.h"
#include "interop/support/LibtorrentPeer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QString script(const QString& relative)
{
    return testSourcePath(QStringLiteral("interop/dht/") + relative);
}

class DhtEngineDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QFileInfo::exists(kPython));
    }

    QString folder(const char* name) const { return root.filePath(QString::fromLatin1(name)); }

    // The 2 MB payload in `dir`, its torrent naming `node` as its only source; the info hash in hex (the
    // same for every folder, the payload being the same).
    QByteArray makePayload(const QString& dir, quint16 node = 0)
    {
        QStringList options{QStringLiteral("--size"), QStringLiteral("2000000")};
        if (node)
            options << QStringLiteral("--node") << QStringLiteral("127.0.0.1:%1").arg(node);
        return test::makePayload(dir, options);
    }

    // The scripted node; "ready <port>" has been read.
    std::unique_ptr<HelperProcess> startNode(const QStringList& arguments, quint16* port)
    {
        auto node = std::make_unique<HelperProcess>(kPython, QStringList{script(QStringLiteral("krpc_node.py"))}
                                                                 + arguments);
        *port = node->waitForLine("ready", 30000).toUShort();
        return node;
    }

    // The node's closing line: get_peers queries, connections to the decoy, connections to the witness.
    static QList<int> counts(HelperProcess& node, int timeoutMs)
    {
        QList<int> numbers;
        for (const QByteArray& field : node.waitForLine("counts", timeoutMs).split(' '))
            numbers.append(field.toInt());
        return numbers;
    }

    // Runs the driver on the torrent alone until it completes; the file it wrote must equal `original`.
    // A node that stalls past the query time-out (a loaded machine) ends a lookup empty-handed: the
    // driver then asks again seconds later, not a quarter of an hour.
    void downloadWithTheDriver(const QString& torrent, const QByteArray& hash, const QString& original)
    {
        EngineDriver driver(folder("leech"));
        EngineDriver::Options options;
        options.dhtRepeatSeconds = 2;
        HelperProcess& run = driver.start({torrent}, options);
        EXPECT_EQ(run.waitForLine("state " + hash + " complete", 90000), QByteArray());
        ASSERT_TRUE(run.waitForExit(10000));
        EXPECT_EQ(run.exitCode(), 0);
        const QFileInfo file(original);
        const QByteArray downloaded = readFile(QDir(driver.downloadFolder()).filePath(file.fileName()));
        EXPECT_EQ(downloaded.size(), file.size());
        EXPECT_TRUE(downloaded == readFile(original)) << "the download differs from the original";
    }

    QTemporaryDir root;
};

TEST_F(DhtEngineDriverTest, DownloadsFromTheSeederThatTheTorrentsNodeNamesAndIgnoresForgedReplies)
{
    const QByteArray hash = makePayload(folder("seed"));
    quint16 seedPort = 0;
    auto seeder = libtorrentPeer("seed", folder("seed/payload.torrent"), folder("seed"), "enabled", 120, &seedPort);
    ASSERT_NE(seedPort, 0);
    quint16 nodePort = 0;
    auto node = startNode({QStringLiteral("--peer"), QString::number(seedPort)}, &nodePort);
    ASSERT_NE(nodePort, 0);
    ASSERT_EQ(makePayload(folder("torrent"), nodePort), hash);

    downloadWithTheDriver(folder("torrent/payload.torrent"), hash, folder("seed/payload.bin"));
    if (HasFatalFailure())
        return;

    // Every get_peers query was met first by a reply with a made-up transaction and by the query's own
    // transaction echoed from another address, both naming the decoy; the genuine reply named the
    // witness beside the seeder.
    node->closeInput();
    const QList<int> seen = counts(*node, 10000);
    ASSERT_EQ(seen.size(), 3);
    EXPECT_GE(seen[0], 1);
    EXPECT_EQ(seen[1], 0) << "a peer named by a forged reply was dialled";
    EXPECT_GE(seen[2], 1) << "the peers of the genuine reply were not all dialled";
}

TEST_F(DhtEngineDriverTest, NodesThatKeepNamingCloserNodesGetAtMostTheBoundedNumberOfQueries)
{
    // 300 fresh nodes, two named per reply, each closer to the hash than any before: without the bound
    // the lookup would ask well over a hundred of them.
    quint16 nodePort = 0;
    auto node = startNode({QStringLiteral("--fresh"), QStringLiteral("300"), QStringLiteral("--seconds"),
                           QStringLiteral("90")},
                          &nodePort);
    ASSERT_NE(nodePort, 0);
    const QByteArray hash = makePayload(folder("torrent"), nodePort);
    ASSERT_FALSE(hash.isEmpty());

    EngineDriver driver(folder("leech"));
    driver.start({folder("torrent/payload.torrent")}, {});
    const QByteArray started = "DHT: lookup for " + hash + " started";
    const QByteArray ended = "DHT: lookup for " + hash + " ended after ";
    ASSERT_TRUE(driver.process().waitForError(ended, 90000)) << "no lookup ended";
    driver.process().killNow();

    // The nodes answer whoever asks with ever closer nodes, so another program on loopback that still
    // knows one of their ports from an earlier test is drawn along the chain too: only the driver's own
    // queries count.
    node->closeInput();
    const QList<QByteArray> askers = node->waitForLine("askers", 10000).split(' ');
    const qsizetype driverAt = askers.indexOf(driver.address().toLatin1());
    ASSERT_GE(driverAt, 0) << "the driver asked nothing";
    const int asked = askers.value(driverAt + 1).toInt();
    const QList<int> seen = counts(*node, 10000);
    ASSERT_EQ(seen.size(), 3);
    EXPECT_GE(seen[0], asked);
    EXPECT_GT(asked, DHTBucket::K) << "the lookup did not follow the nodes it was given";
    // Starting the torrent may run more than one lookup (each start of the torrent asks anew): each is
    // bounded, and together they asked no more than their bounds.
    int lookups = 0;
    for (const QByteArray& line : driver.process().standardError().split('\n')) {
        if (line.startsWith(started))
            ++lookups;
        if (line.startsWith(ended)) {
            EXPECT_LE(line.mid(ended.size()).split(' ').first().toInt(), DHTPeerLookup::kMaxQueries) << line.constData();
        }
    }
    ASSERT_GE(lookups, 1);
    EXPECT_LE(asked, lookups * DHTPeerLookup::kMaxQueries);
}

TEST_F(DhtEngineDriverTest, DownloadsFromASeederAnnouncedAmongLibtorrentNodes)
{
    HelperProcess swarm(kPython, {script(QStringLiteral("dht_swarm.py")), folder("swarm")});
    const QList<QByteArray> ready = swarm.waitForLine("READY", 70000).split(' ');
    ASSERT_EQ(ready.size(), 5) << "the swarm never stored the announce";
    downloadWithTheDriver(folder("swarm/content.torrent"), ready[0], folder("swarm/content.bin"));
}

}  // namespace
