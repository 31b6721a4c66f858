#include "DhtTestHelpers.h"
#include "engine/dht/DHTRoutingTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::dhttest;

namespace {

DHTNodePtr goodNode(const DHTIdentifier& id, quint16 port = 6881)
{
    auto node = std::make_shared<DHTNode>(id, endpoint("10.0.0.1", port));
    node->noteReplyReceived(DHTNode::now());
    return node;
}

int bucketHolding(const DHTRoutingTable& table, const DHTNodePtr& node)
{
    for (int i = 0; i < table.buckets().size(); ++i)
        if (table.buckets()[i].contains(node))
            return i;
    return -1;
}

}  // namespace

TEST(DHTRoutingTable, FirstSplitHalvesTheSpaceAtTheMidpointAndMovesNodesOfTheUpperHalf)
{
    RecordingSender sender;
    DHTRoutingTable table(idWithTop(0x01), sender);
    const DHTNodePtr low = goodNode(idWithTop(0x10), 1);
    const DHTNodePtr high = goodNode(idWithTop(0xF0), 2);
    const DHTNodePtr top = goodNode(DHTIdentifier::maxIdentifier(), 3);
    for (const DHTNodePtr& node : {low, high, top})
        table.addNode(node);
    ASSERT_EQ(table.buckets().size(), 1);
    ASSERT_TRUE(table.splitBucket(0));
    ASSERT_EQ(table.buckets().size(), 2);
    const DHTIdentifier mid = idFromHex("7fffffffffffffffffffffffffffffffffffffff");
    EXPECT_EQ(table.buckets()[0].lower(), DHTIdentifier::minIdentifier());
    EXPECT_EQ(table.buckets()[0].upper(), mid);
    EXPECT_EQ(table.buckets()[1].lower(), mid);
    EXPECT_EQ(table.buckets()[1].upper(), DHTIdentifier::maxIdentifier());
    EXPECT_EQ(table.bucketIndexForIdentifier(DHTIdentifier::maxIdentifier()), 1);
    EXPECT_EQ(table.bucketIndexForIdentifier(mid), 1);
    EXPECT_EQ(bucketHolding(table, low), 0);
    EXPECT_EQ(bucketHolding(table, high), 1);
    EXPECT_EQ(bucketHolding(table, top), 1);
}

TEST(DHTRoutingTable, NinthGoodNodeOfAForeignBucketIsDropped)
{
    RecordingSender sender;
    DHTRoutingTable table(idWithTop(0x00, 1), sender);
    QList<DHTNodePtr> far;
    for (int i = 0; i < 9; ++i) {
        far.append(goodNode(idWithTop(quint8(0xC0 + i)), quint16(100 + i)));
        table.addNode(far.last());
    }
    // The ninth split the bucket holding our id; the upper half is full of good nodes and does not hold it.
    ASSERT_EQ(table.buckets().size(), 2);
    EXPECT_EQ(table.buckets()[1].nodes().size(), 8);
    EXPECT_EQ(bucketHolding(table, far[8]), -1);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(bucketHolding(table, far[i]), 1);

    const DHTNodePtr near = goodNode(idWithTop(0x01), 200);
    table.addNode(near);
    EXPECT_EQ(bucketHolding(table, near), 0);
}

TEST(DHTRoutingTable, OwnBucketKeepsSplittingForCloseNodes)
{
    RecordingSender sender;
    DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
    QList<DHTNodePtr> nodes;
    for (int i = 0; i < 16; ++i) {
        nodes.append(goodNode(idWithTop(quint8(i < 8 ? 0x40 + i : 0x01), quint8(i)), quint16(100 + i)));
        table.addNode(nodes.last());
    }
    for (const DHTNodePtr& node : nodes)
        EXPECT_GE(bucketHolding(table, node), 0);
    EXPECT_EQ(table.goodNodes().size(), 16);
    EXPECT_TRUE(table.identityBucket().rangeIncludesIdentifier(DHTIdentifier::minIdentifier()));
}

TEST(DHTRoutingTable, GoodNodeTakesTheStalestQuestionableSlotOfAFullBucket)
{
    RecordingSender sender;
    DHTRoutingTable table(idWithTop(0x00, 1), sender);
    ASSERT_TRUE(table.splitBucket(0));
    QList<DHTNodePtr> nodes;
    for (int i = 0; i < 8; ++i) {
        nodes.append(goodNode(idWithTop(quint8(0xC0 + i)), quint16(100 + i)));
        table.addNode(nodes.last());
    }
    const qint64 now = DHTNode::now();
    nodes[3]->setLastResponse(now - 2000);
    nodes[3]->touch(now - 2000);
    nodes[5]->setLastResponse(now - 1000);
    const DHTNodePtr fresh = goodNode(idWithTop(0xD0), 300);
    table.addNode(fresh);
    EXPECT_EQ(table.buckets()[1].nodes().size(), 8);
    EXPECT_EQ(bucketHolding(table, fresh), 1);
    EXPECT_EQ(bucketHolding(table, nodes[5]), 1);
    EXPECT_EQ(bucketHolding(table, nodes[3]), -1);
}

TEST(DHTNode, GoodnessFollowsResponsesAndRequests)
{
    struct Case { const char* name; qint64 lastResponseAgo; qint64 lastRequestAgo; bool answered; bool good; };
    const Case cases[] = {
        {"answered 100 s ago", 100, -1, true, true},
        {"answered 1000 s ago, queried 100 s ago", 1000, 100, true, true},
        {"answered 1000 s ago only", 1000, -1, true, false},
        {"queried 100 s ago, never answered", -1, 100, false, false},
        {"never heard of", -1, -1, false, false},
    };
    const qint64 now = DHTNode::now();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DHTNode node(idWithTop(1), endpoint("10.0.0.1", 1));
        if (c.answered)
            node.setFirstResponse(now - 5000);
        if (c.lastResponseAgo >= 0)
            node.setLastResponse(now - c.lastResponseAgo);
        if (c.lastRequestAgo >= 0)
            node.setLastRequest(now - c.lastRequestAgo);
        EXPECT_EQ(node.isGood(now), c.good);
        EXPECT_EQ(node.isQuestionable(now), !c.good);
    }
}

TEST(DHTRoutingTable, NearestBucketsAlternateBelowAndAbove)
{
    RecordingSender sender;
    DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(table.splitBucket(0));
    ASSERT_EQ(table.buckets().size(), 5);
    const DHTIdentifier inSecond = table.buckets()[1].lower();
    EXPECT_EQ(table.bucketsNearestTo(inSecond), (QList<int>{1, 0, 2, 3, 4}));
    EXPECT_EQ(table.bucketsNearestTo(DHTIdentifier::maxIdentifier()), (QList<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(table.bucketsNearestTo(table.buckets()[2].lower()), (QList<int>{2, 1, 3, 0, 4}));
}

TEST(DHTRoutingTable, ClosestNodesIncludeTheWholeCacheWhenFewAreKnown)
{
    RecordingSender sender;
    DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
    const DHTNodePtr inTable = goodNode(idWithTop(0x80), 1);
    table.addNode(inTable);
    const DHTNodePtr cached = table.cacheNode(idWithTop(0x90), endpoint("10.0.0.2", 2));
    const QList<DHTNodePtr> closest = table.nodesClosestTo(idWithTop(0x85));
    EXPECT_EQ(closest.size(), 2);
    EXPECT_TRUE(closest.contains(inTable));
    EXPECT_TRUE(closest.contains(cached));
}

TEST(DHTRoutingTable, NodeCacheDropsTheLeastRecentlySeen)
{
    RecordingSender sender;
    DHTRoutingTable table(DHTIdentifier::minIdentifier(), sender);
    const DHTNodePtr kept = goodNode(idFromHex("1"), 1);
    table.addNode(kept);  // nodes in buckets stay
    const DHTNodePtr old = table.cacheNode(idFromHex("2"), endpoint("10.0.0.2", 2));
    QByteArray bytes(20, '\x55');
    for (int i = 0; i < DHTRoutingTable::kNodeCacheLimit + 10; ++i) {
        bytes[0] = char(i >> 8);
        bytes[1] = char(i);
        const DHTNodePtr node = table.cacheNode(*DHTIdentifier::fromData(bytes), endpoint("10.0.0.3", quint16(i + 1)));
        node->touch(DHTNode::now() + 1 + i);  // every later node is seen later
    }
    EXPECT_LE(table.knownNodeCount(), DHTRoutingTable::kNodeCacheLimit);
    EXPECT_EQ(table.nodeWithID(idFromHex("1")), kept);
    EXPECT_FALSE(table.nodeWithID(idFromHex("2")));
    bytes[0] = char((DHTRoutingTable::kNodeCacheLimit + 9) >> 8);
    bytes[1] = char(DHTRoutingTable::kNodeCacheLimit + 9);
    EXPECT_TRUE(table.nodeWithID(*DHTIdentifier::fromData(bytes)));
}
