#include "PeerTestSupport.h"
#include "engine/peers/PeersDatabase.h"
#include "kit/SerialQueue.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

using namespace ombrelay;
using namespace ombrelay::test;
using Activity = PeersDatabase::Activity;

namespace {

// The result of a query as another program would read the file: every column of every row, as text.
QList<QStringList> readFile(const QString& path, const char* sql)
{
    QList<QStringList> rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        QStringList row;
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            row.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column))));
        rows.append(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

class PeersDatabaseTest : public ::testing::Test
{
protected:
    QString path() const { return dir.filePath("peers.db"); }
    // Waits for the queued file work of every database.
    static void drain() { PeersDatabase::fileQueue().drain(); }
    // The stored rows as "address:port downloaded isActive", after the queued work.
    QStringList storedRows() const
    {
        drain();
        QStringList rows;
        const QList<QStringList> read =
            readFile(path(), "SELECT address, port, downloaded, isActive FROM peers ORDER BY address, port");
        for (const QStringList& row : read)
            rows.append(PeerAddress::fromStored(row[0].toLongLong(), row[1].toLongLong()).toString() + " " + row[2] +
                        " " + row[3]);
        return rows;
    }
    QTemporaryDir dir;
    DrainsPeersFiles fileWork;
};

}  // namespace

TEST(PeerAddress, StoredAndCompactForms)
{
    struct Case
    {
        const char* address;
        quint16 port;
        qint64 stored;
    };
    const Case cases[] = {
        {"1.2.3.4", 6881, 67305985},
        {"4.3.2.1", 1, 16909060},
        {"127.0.0.1", 51413, 16777343},
        {"255.255.255.255", 65535, 4294967295},
        {"10.0.0.0", 80, 10},
    };
    for (const Case& c : cases) {
        const PeerAddress peer = peerAt(c.address, c.port);
        EXPECT_EQ(peer.storedAddress(), c.stored) << c.address;
        EXPECT_EQ(PeerAddress::fromStored(c.stored, c.port), peer) << c.address;
        EXPECT_EQ(PeerAddress::fromCompact(compactEntry(peer)), peer) << c.address;
        EXPECT_EQ(peer.toString(), QStringLiteral("%1:%2").arg(c.address).arg(c.port));
    }
}

TEST(PeerAddress, CompactListsKeepUsablePeersOnly)
{
    struct Case
    {
        const char* address;
        quint16 port;
        bool usable;
    };
    const Case cases[] = {
        {"1.2.3.4", 6881, true},      {"127.0.0.1", 6881, true},   {"192.168.1.10", 6881, true},
        {"10.0.0.1", 1, true},        {"223.255.255.255", 9, true}, {"0.0.0.0", 6881, false},
        {"0.1.2.3", 6881, false},     {"224.0.0.1", 6881, false},  {"239.1.1.1", 6881, false},
        {"240.0.0.1", 6881, false},   {"255.255.255.255", 6881, false}, {"1.2.3.4", 0, false},
    };
    QByteArray list;
    QList<PeerAddress> usable;
    for (const Case& c : cases) {
        const PeerAddress peer = peerAt(c.address, c.port);
        EXPECT_EQ(peer.isUsable(), c.usable) << c.address << ":" << c.port;
        list += compactEntry(peer);
        if (c.usable)
            usable.append(peer);
    }
    EXPECT_EQ(PeerAddress::fromCompactList(list, 100), usable);
    EXPECT_EQ(PeerAddress::fromCompactList(list, 2), usable.mid(0, 2));
    EXPECT_TRUE(PeerAddress::fromCompactList(list.left(13), 100).isEmpty()) << "not a multiple of 6";
}

TEST_F(PeersDatabaseTest, StoresTheExactSchemaAndAddressEncoding)
{
    PeersDatabase database(path());
    EXPECT_TRUE(database.insertPeer(peerAt("1.2.3.4", 6881), Activity::Inactive));
    EXPECT_FALSE(database.insertPeer(peerAt("1.2.3.4", 6881), Activity::Active)) << "already stored";
    database.addDownloadedBytes(peerAt("1.2.3.4", 6881), 5);
    drain();

    EXPECT_EQ(readFile(path(), "SELECT address, port, downloaded, isActive FROM peers"),
              (QList<QStringList>{{"67305985", "6881", "5", "0"}}));
    EXPECT_EQ(readFile(path(), "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY name"),
              (QList<QStringList>{{"CREATE INDEX downloaded ON peers (downloaded)"},
                                  {"CREATE INDEX isActive ON peers (isActive)"},
                                  {"CREATE TABLE peers (address INT, port INT, downloaded INT, isActive INT, "
                                   "PRIMARY KEY (address, port))"}}));
}

TEST_F(PeersDatabaseTest, TheFileIsOpenedReadAndWrittenOnlyOnTheQueue)
{
    QueueGate gate(PeersDatabase::fileQueue());
    PeersDatabase database(path());
    EXPECT_TRUE(database.insertPeer(peerAt("1.2.3.4", 6881), Activity::Inactive));
    database.addDownloadedBytes(peerAt("1.2.3.4", 6881), 9);
    EXPECT_EQ(database.numberOfPeers(), 1) << "answered from memory";
    EXPECT_FALSE(database.hasStoredRows());
    EXPECT_FALSE(QFile::exists(path())) << "nothing touched the disk while the queue was held";
    gate.open();
    EXPECT_EQ(storedRows(), QStringList{"1.2.3.4:6881 9 0"});
    EXPECT_TRUE(database.hasStoredRows());
}

TEST_F(PeersDatabaseTest, RowsAreInactiveAfterReopening)
{
    {
        PeersDatabase database(path());
        database.insertPeer(peerAt("1.1.1.1", 1), Activity::Active);
        database.insertPeer(peerAt("1.1.1.2", 1), Activity::Resting);
        database.insertPeer(peerAt("1.1.1.3", 1), Activity::Inactive);
        EXPECT_EQ(database.numberOfUnusedPeers(), 2);
        EXPECT_EQ(database.peersToDial().size(), 1);
    }
    PeersDatabase database(path());
    drain();
    EXPECT_TRUE(database.hasStoredRows());
    EXPECT_EQ(database.numberOfPeers(), 3);
    EXPECT_EQ(database.numberOfUnusedPeers(), 3);
    EXPECT_EQ(database.peersToDial().size(), 3);
    EXPECT_EQ(storedRows(), (QStringList{"1.1.1.1:1 0 0", "1.1.1.2:1 0 0", "1.1.1.3:1 0 0"}));
}

TEST_F(PeersDatabaseTest, ChangesMadeBeforeTheStoredRowsArriveApplyOnTopOfThem)
{
    {
        PeersDatabase database(path());
        database.insertPeers({peerAt("1.0.0.1", 1), peerAt("1.0.0.2", 1), peerAt("1.0.0.4", 1)});
        database.addDownloadedBytes(peerAt("1.0.0.1", 1), 5);
        database.setActivity(peerAt("1.0.0.2", 1), Activity::Active);
    }
    QueueGate gate(PeersDatabase::fileQueue());
    PeersDatabase database(path());
    EXPECT_TRUE(database.insertPeer(peerAt("1.0.0.1", 1), Activity::Active)) << "not known yet";
    database.addDownloadedBytes(peerAt("1.0.0.1", 1), 3);
    database.deletePeer(peerAt("1.0.0.2", 1));
    database.insertPeer(peerAt("1.0.0.3", 1), Activity::Inactive);
    database.setActivity(peerAt("1.0.0.4", 1), Activity::Active);
    EXPECT_EQ(database.numberOfPeers(), 2) << "the peers of this session only";
    EXPECT_FALSE(database.hasStoredRows());
    gate.open();
    // The stored row keeps its bytes and gains the new ones; the insert of a stored peer changes nothing.
    EXPECT_EQ(storedRows(), (QStringList{"1.0.0.1:1 8 0", "1.0.0.3:1 0 0", "1.0.0.4:1 0 1"}));
    EXPECT_TRUE(database.hasStoredRows());
    EXPECT_EQ(database.numberOfPeers(), 3);
    EXPECT_EQ(database.numberOfUnusedPeers(), 2);
    EXPECT_EQ(database.peersToDial(),
              (QList<PeersDatabase::Row>{{peerAt("1.0.0.1", 1), 8}, {peerAt("1.0.0.3", 1), 0}}));
}

TEST_F(PeersDatabaseTest, PeersAreKeyedByAddressAndPort)
{
    PeersDatabase database(path());
    EXPECT_TRUE(database.insertPeer(peerAt("127.0.0.1", 6881), Activity::Inactive));
    EXPECT_TRUE(database.insertPeer(peerAt("127.0.0.1", 6882), Activity::Inactive));
    database.setActivity(peerAt("127.0.0.1", 6881), Activity::Active);
    database.addDownloadedBytes(peerAt("127.0.0.1", 6882), 7);
    EXPECT_EQ(database.peersToDial(), (QList<PeersDatabase::Row>{{peerAt("127.0.0.1", 6882), 7}}));
    EXPECT_EQ(storedRows(), (QStringList{"127.0.0.1:6881 0 1", "127.0.0.1:6882 7 0"}));
    database.deletePeer(peerAt("127.0.0.1", 6882));
    EXPECT_EQ(database.numberOfPeers(), 1);
    EXPECT_EQ(storedRows(), QStringList{"127.0.0.1:6881 0 1"});
}

TEST_F(PeersDatabaseTest, CountersAreSixtyFourBits)
{
    PeersDatabase database(path());
    database.insertPeer(peerAt("1.2.3.4", 1), Activity::Inactive);
    const quint64 fiveGiB = quint64(5) << 30;
    database.addDownloadedBytes(peerAt("1.2.3.4", 1), fiveGiB);
    database.addDownloadedBytes(peerAt("1.2.3.4", 1), fiveGiB);
    EXPECT_EQ(database.peersToDial().value(0).downloaded, qint64(10) << 30);
    EXPECT_EQ(storedRows(), QStringList{"1.2.3.4:1 10737418240 0"});
}

TEST_F(PeersDatabaseTest, TheTableStopsAtTheCap)
{
    PeersDatabase database(path());
    QList<PeerAddress> peers;
    for (int i = 0; i < PeersDatabase::kMaxRows + 100; ++i)
        peers.append(PeerAddress{htonl(0x0A000000u + quint32(i)), 6881});
    EXPECT_EQ(database.insertPeers(peers), PeersDatabase::kMaxRows);
    EXPECT_EQ(database.numberOfPeers(), PeersDatabase::kMaxRows);
    EXPECT_FALSE(database.insertPeer(peerAt("2.2.2.2", 1), Activity::Active));
    database.deletePeer(peers.first());
    EXPECT_TRUE(database.insertPeer(peerAt("2.2.2.2", 1), Activity::Active));
    const QStringList stored = storedRows();
    EXPECT_EQ(stored.size(), PeersDatabase::kMaxRows);
    EXPECT_TRUE(stored.contains("2.2.2.2:1 0 1"));
    EXPECT_FALSE(stored.contains(peers.first().toString() + " 0 0"));
}

TEST_F(PeersDatabaseTest, DialBatchesAreReadWholeAndWalkTheBestPeersFirst)
{
    PeersDatabase database(path());
    for (int i = 0; i < 120; ++i) {
        const PeerAddress peer{htonl(0x0A000000u + quint32(i)), 6881};
        database.insertPeer(peer, Activity::Inactive);
        database.addDownloadedBytes(peer, quint64(i + 1) * 1000);
    }
    QList<int> batchSizes;
    qint64 previousBest = INT64_MAX;
    for (int round = 0; round < 5; ++round) {
        const QList<PeersDatabase::Row> batch = database.peersToDial();
        batchSizes.append(int(batch.size()));
        for (const PeersDatabase::Row& row : batch) {
            EXPECT_LT(row.downloaded, previousBest) << "most bytes first, across batches";
            previousBest = row.downloaded;
            // Writing while walking the batch is safe: it is no cursor.
            database.setActivity(row.peer, Activity::Active);
            database.insertPeer(PeerAddress{row.peer.address, 1}, Activity::Active);
        }
    }
    EXPECT_EQ(batchSizes, (QList<int>{50, 50, 20, 0, 0}));
}

TEST_F(PeersDatabaseTest, ADamagedFileIsReplaced)
{
    ASSERT_TRUE(writeFile(path(), QByteArray(4096, 'x')));
    PeersDatabase database(path());
    drain();
    EXPECT_TRUE(database.hasStoredRows());
    EXPECT_EQ(database.numberOfPeers(), 0);
    EXPECT_TRUE(database.insertPeer(peerAt("1.2.3.4", 6881), Activity::Inactive));
    EXPECT_EQ(database.numberOfPeers(), 1);
    EXPECT_EQ(storedRows(), QStringList{"1.2.3.4:6881 0 0"});
}

TEST_F(PeersDatabaseTest, WithoutAFileThePeersStayInMemory)
{
    const struct
    {
        const char* name;
        QString path;
    } cases[] = {
        {"a missing folder", dir.filePath("gone/peers.db")},
        {"no path", QString()},
    };
    for (const auto& c : cases) {
        PeersDatabase database(c.path);
        EXPECT_TRUE(database.insertPeer(peerAt("1.2.3.4", 6881), Activity::Inactive)) << c.name;
        database.addDownloadedBytes(peerAt("1.2.3.4", 6881), 4);
        drain();
        EXPECT_TRUE(database.hasStoredRows()) << c.name;
        EXPECT_EQ(database.numberOfPeers(), 1) << c.name;
        EXPECT_TRUE(database.hasDialablePeers()) << c.name;
        EXPECT_EQ(database.peersToDial(), (QList<PeersDatabase::Row>{{peerAt("1.2.3.4", 6881), 4}})) << c.name;
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("gone"))) << "no folder is made";
}

TEST_F(PeersDatabaseTest, AFileDamagedWhileOpenStartsAfreshAndTheRowsInMemoryFollow)
{
    PeersDatabase database(path());
    QList<PeerAddress> peers;
    for (int i = 0; i < 500; ++i)
        peers.append(PeerAddress{htonl(0x0A000000u + quint32(i)), 6881});
    ASSERT_EQ(database.insertPeers(peers), 500);
    drain();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QFile file(path() + QLatin1String(suffix));
        if (file.open(QIODevice::ReadWrite))
            file.write(QByteArray(file.size(), 'x'));
    }
    // The first change finds the damage; those queued behind it are dropped with the known peers.
    database.insertPeer(peerAt("1.2.3.4", 6881), Activity::Inactive);
    database.deletePeer(peers[3]);
    database.setActivity(peers[5], Activity::Active);
    drain();
    EXPECT_EQ(database.numberOfPeers(), 0);
    EXPECT_TRUE(database.insertPeer(peerAt("1.2.3.5", 6881), Activity::Inactive));
    EXPECT_EQ(storedRows(), QStringList{"1.2.3.5:6881 0 0"}) << "the new file holds what memory holds";
    EXPECT_EQ(database.numberOfPeers(), 1);
}
