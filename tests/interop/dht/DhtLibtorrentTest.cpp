#include "engine/dht/DHTController.h"
#include "interop/support/LibtorrentPeer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace ombrelay;

// Three libtorrent sessions with the DHT on loopback; one seeds and announces a torrent. Our lookup,
// started from one of their nodes, finds the seeder.
TEST(DhtLibtorrent, LookupFindsThePeerAnnouncedAmongLibtorrentNodes)
{
    QProcess probe;
    probe.start("/usr/bin/python3", {"-c", "import libtorrent"});
    if (!probe.waitForFinished(20000) || probe.exitCode() != 0)
        GTEST_SKIP() << "python3-libtorrent is not installed";

    QProcess swarm;
    swarm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    swarm.start("/usr/bin/python3", {test::testSourcePath(QStringLiteral("interop/dht/dht_swarm.py"))});
    ASSERT_TRUE(swarm.waitForStarted(10000));
    QList<QByteArray> ready;
    for (int i = 0; i < 300 && ready.isEmpty(); ++i) {
        swarm.waitForReadyRead(100);
        while (swarm.canReadLine()) {
            const QByteArray line = swarm.readLine().trimmed();
            if (line.startsWith("READY "))
                ready = line.split(' ');
        }
    }
    ASSERT_EQ(ready.size(), 6) << "the swarm never announced";
    const QByteArray infoHash = QByteArray::fromHex(ready[1]);
    const quint16 seederPort = quint16(ready[2].toUInt());

    DHTIdentifier ownID;  // 0: the settings are left alone
    DHTController controller(DHTSocket::bind(inet_addr("127.0.0.1"), 0), DHTController::Options{QString(), ownID});
    QSignalSpy peers(&controller, &DHTController::peersFound);
    QSignalSpy finished(&controller, &DHTController::lookupFinished);
    // Starting at the last node: the lookup goes on through the nodes it names.
    controller.findPeers(infoHash, {DhtNodeAddress{inet_addr("127.0.0.1"), quint16(ready[5].toUInt())}});
    QByteArray expected;
    const quint32 loopback = inet_addr("127.0.0.1");
    expected.append(reinterpret_cast<const char*>(&loopback), 4);
    expected.append(char(seederPort >> 8)).append(char(seederPort & 0xFF));
    const auto found = [&] {
        for (const QList<QVariant>& signal : peers)
            for (qsizetype i = 0; i + 6 <= signal.at(1).toByteArray().size(); i += 6)
                if (signal.at(1).toByteArray().mid(i, 6) == expected)
                    return true;
        return false;
    };
    for (int i = 0; i < 300 && !found() && finished.isEmpty(); ++i)
        QTest::qWait(50);
    EXPECT_TRUE(found());
    EXPECT_GE(controller.routingTable().goodNodes().size(), 1);

    swarm.closeWriteChannel();
    if (!swarm.waitForFinished(5000)) {
        swarm.kill();
        swarm.waitForFinished(2000);
    }
}
