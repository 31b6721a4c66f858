#include "DhtTestHelpers.h"
#include "engine/dht/DHTRoutingTable.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::dhttest;
using namespace ombrelay::test;

TEST(DHTStorage, RecordHoldsAddressPortIdAndThreeTimesSince2001)
{
    const DHTIdentifier id = idFromHex("0102030405060708090a0b0c0d0e0f1011121314");
    DHTNode node(id, endpoint("10.0.0.1", 6881));
    node.setLastRequest(DHTRoutingTable::kReferenceDate + 0x64);
    node.setLastResponse(DHTRoutingTable::kReferenceDate + 0x01020304);
    node.setFirstResponse(0);
    QByteArray record;
    DHTRoutingTable::appendNodeData(node, record);
    EXPECT_EQ(record.toHex(), QByteArray("0a0000011ae1"
                                         "0102030405060708090a0b0c0d0e0f1011121314"
                                         "00000064"
                                         "01020304"
                                         "00000000"));
    EXPECT_EQ(record.size(), DHTRoutingTable::kRecordSize);
}

TEST(DHTStorage, StoredNodesComeBackGoodInBucketsAndTheRestArePinged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("data/DHT.storage");  // its folder made by the store, as at a first launch
    const qint64 now = DHTNode::now();
    {
        RecordingSender sender;
        DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
        for (int i = 0; i < 3; ++i) {
            auto node = std::make_shared<DHTNode>(idWithTop(quint8(0x80 + i)), endpoint("10.0.0.1", quint16(7000 + i)));
            node->noteReplyReceived(now - 10 * i);
            table.addNode(node);
        }
        // Good when stored, questionable by the time the store is read back.
        table.nodeWithID(idWithTop(0x82))->setLastResponse(now - 2000);
        ASSERT_TRUE(table.storeToDisk(path));
    }
    // Good nodes are listed twice: once among the good, once among all.
    EXPECT_EQ(readFile(path).size(), 5 * DHTRoutingTable::kRecordSize);

    RecordingSender sender;
    DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
    table.readFromDisk(path);
    EXPECT_EQ(table.knownNodeCount(), 3);
    EXPECT_EQ(table.goodNodes().size(), 2);
    ASSERT_TRUE(table.nodeWithID(idWithTop(0x81)));
    EXPECT_EQ(table.nodeWithID(idWithTop(0x81))->endpoint(), endpoint("10.0.0.1", 7001));
    EXPECT_EQ(table.nodeWithID(idWithTop(0x81))->lastResponse(), now - 10);
    EXPECT_EQ(sender.pinged, (QList<DhtNodeAddress>{endpoint("10.0.0.1", 7002)}));
}

TEST(DHTStorage, MalformedStoresAndUnusableAddressesAreIgnored)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DHT.storage");
    const auto recordOf = [](quint8 top, const char* address, quint16 port) {
        DHTNode node(idWithTop(top), endpoint(address, port));
        node.noteReplyReceived(DHTNode::now());
        QByteArray record;
        DHTRoutingTable::appendNodeData(node, record);
        return record;
    };
    const QByteArray record = recordOf(0x80, "10.0.0.1", 6881);
    const QByteArray unusable = recordOf(1, "0.1.2.3", 1) + recordOf(2, "224.0.0.1", 2)
        + recordOf(3, "255.255.255.255", 3) + recordOf(0x70, "10.0.0.8", 0);

    struct Case { const char* name; QByteArray bytes; int known; };
    const Case cases[] = {
        {"empty", QByteArray(), 0},
        {"truncated record", record.left(37), 0},
        {"one record and a half", record + record.left(19), 0},
        {"whole record", record, 1},
        {"same node twice", record + record, 1},
        {"unusable addresses and port 0 around a usable one", unusable + record, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(path, c.bytes));
        RecordingSender sender;
        DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
        table.readFromDisk(path);
        EXPECT_EQ(table.knownNodeCount(), c.known);
        EXPECT_EQ(table.goodNodes().size(), c.known);
        EXPECT_EQ(table.nodeWithID(idWithTop(0x80)) != nullptr, c.known == 1);
    }
}

TEST(DHTStorage, StoringReplacesTheWholeFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DHT.storage");
    ASSERT_TRUE(writeFile(path, QByteArray(10 * DHTRoutingTable::kRecordSize, 'x')));
    RecordingSender sender;
    DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
    auto node = std::make_shared<DHTNode>(idWithTop(0x80), endpoint("10.0.0.1", 6881));
    node->noteReplyReceived(DHTNode::now());
    table.addNode(node);
    ASSERT_TRUE(table.storeToDisk(path));
    // A good node is written in both lists of its bucket.
    const QByteArray stored = readFile(path);
    ASSERT_EQ(stored.size(), 2 * DHTRoutingTable::kRecordSize);
    EXPECT_EQ(stored.left(6).toHex(), QByteArray("0a0000011ae1"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"DHT.storage"});
}
