#include "DhtTestHelpers.h"
#include "engine/bencode/Bencoder.h"
#include "engine/dht/DHTMessage.h"
#include "engine/dht/DHTTransactions.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::dhttest;

namespace {

const DHTIdentifier kOwnID = *DHTIdentifier::fromData(QByteArray("ABCDEFGHIJKLMNOPQRST"));
const QByteArray kInfoHash("infohash-of-20-bytes");

QByteArray compactNode(const DHTIdentifier& id, const char* address, quint16 port)
{
    return compactNodeInfo(id, endpoint(address, port));
}

QByteArray reply(BValue r, const QByteArray& t = "t1")
{
    return Bencoder::bencodingForObject(BValue::Dict{{"r", std::move(r)}, {"t", t}, {"y", "r"}});
}

BValue replyBody(const QByteArray& id = kOwnID.data())
{
    return BValue::Dict{{"id", id}};
}

}  // namespace

TEST(DHTMessage, QueriesHaveTheirExactLayouts)
{
    DHTTransactions transactions;
    const QByteArray pingT = transactions.add({DHTTransaction::Kind::Ping, endpoint("10.0.0.1", 1), {}, 0});
    const QByteArray findT = transactions.add({DHTTransaction::Kind::FindNode, endpoint("10.0.0.1", 1), {}, 0});
    const QByteArray peersT = transactions.add({DHTTransaction::Kind::GetPeers, endpoint("10.0.0.1", 1), kInfoHash, 1});
    ASSERT_EQ(pingT.size(), 5);
    EXPECT_EQ(pingT.back(), 'p');
    ASSERT_EQ(findT.size(), 5);
    EXPECT_EQ(findT.back(), 'f');
    ASSERT_EQ(peersT.size(), 24);
    EXPECT_TRUE(peersT.startsWith(kInfoHash));

    const QByteArray ping = DHTMessage::pingQuery(kOwnID, pingT);
    EXPECT_EQ(ping.size(), 59);
    EXPECT_EQ(ping, "d1:ad2:id20:" + kOwnID.data() + "e1:q4:ping1:t5:" + pingT + "1:y1:qe");

    const DHTIdentifier target = idWithTop(0x42, 7);
    const QByteArray findNode = DHTMessage::findNodeQuery(kOwnID, findT, target);
    EXPECT_EQ(findNode.size(), 95);
    EXPECT_EQ(findNode, "d1:ad2:id20:" + kOwnID.data() + "6:target20:" + target.data() + "e1:q9:find_node1:t5:"
                            + findT + "1:y1:qe");

    const QByteArray getPeers = DHTMessage::getPeersQuery(kOwnID, peersT, kInfoHash);
    EXPECT_EQ(getPeers.size(), 118);
    EXPECT_EQ(getPeers, "d1:ad2:id20:" + kOwnID.data() + "9:info_hash20:" + kInfoHash + "e1:q9:get_peers1:t24:"
                            + peersT + "1:y1:qe");

    EXPECT_EQ(DHTMessage::pingReply(kOwnID, "aa"), "d1:rd2:id20:" + kOwnID.data() + "e1:t2:aa1:y1:re");
}

TEST(DHTMessage, CompactNodesComeInWholeRecords)
{
    const QByteArray one = compactNode(idWithTop(1), "10.0.0.1", 6881);
    const QByteArray two = compactNode(idWithTop(2), "10.0.0.2", 6882);
    struct Case { const char* name; QByteArray data; int count; };
    const Case cases[] = {
        {"52 bytes", one + two, 2},
        {"50 bytes", (one + two).left(50), 0},
        {"26 bytes", one, 1},
        {"empty", QByteArray(), 0},
        {"port 0 skipped", one + compactNode(idWithTop(3), "10.0.0.3", 0), 1},
        {"0/8 skipped", compactNode(idWithTop(3), "0.0.0.9", 1) + two, 1},
        {"224/3 skipped", compactNode(idWithTop(3), "224.0.0.5", 1) + compactNode(idWithTop(4), "250.1.1.1", 1), 0},
        {"at most 16 taken", one.repeated(40), DHTMessage::kMaxNodesPerReply},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DHTMessage::nodesFromCompactNodeData(c.data).size(), c.count);
    }
    const QList<DHTNodeInfo> nodes = DHTMessage::nodesFromCompactNodeData(one + two);
    EXPECT_EQ(nodes[1].id, idWithTop(2));
    EXPECT_EQ(nodes[1].endpoint, endpoint("10.0.0.2", 6882));
}

TEST(DHTMessage, ValuesTakeOnlySixByteStrings)
{
    const QByteArray peerA = QByteArray::fromHex("0a0000011ae1");
    const QByteArray peerB = QByteArray::fromHex("7f0000011ae2");
    const BValue values = BValue::List{
        peerA,
        QByteArray::fromHex("0a000001"),          // short
        QByteArray::fromHex("0a0000011ae10a00"),  // long
        peerB,
        QByteArray::fromHex("0a0000010000"),      // port 0
        6,                                        // not a string
        QByteArray::fromHex("e00000011ae1"),      // multicast
    };
    const BValue r = BValue::Dict{{"id", kOwnID.data()}, {"token", "tok"}, {"values", values}};
    const auto message = DHTMessage::parse(reply(r));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->type, DHTMessage::Type::Reply);
    EXPECT_EQ(message->compactPeers, peerA + peerB);
    EXPECT_EQ(message->token, "tok");
}

TEST(DHTMessage, MalformedMessagesAreDropped)
{
    const auto bencoded = [](BValue::Dict message) { return Bencoder::bencodingForObject(std::move(message)); };
    struct Case { const char* name; QByteArray datagram; };
    const Case cases[] = {
        {"not bencoded", "hello"},
        {"a list", "l1:ae"},
        {"19-byte id", reply(replyBody(QByteArray(19, 'x')))},
        {"integer id", reply(BValue::Dict{{"id", 12345}})},
        {"query without arguments", bencoded({{"q", "ping"}, {"t", "aa"}, {"y", "q"}})},
        {"error", bencoded({{"e", BValue::list()}, {"t", "aa"}, {"y", "e"}})},
        {"empty transaction id", bencoded({{"r", replyBody()}, {"t", ""}, {"y", "r"}})},
        {"reply body not a dictionary", "d1:r3:abc1:t2:aa1:y1:re"},
        {"truncated", reply(replyBody()).chopped(1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(DHTMessage::parse(c.datagram));
    }
    const auto ping = DHTMessage::parse(DHTMessage::pingQuery(kOwnID, "abcdp"));
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping->type, DHTMessage::Type::Query);
    EXPECT_EQ(ping->queryName, "ping");
    EXPECT_EQ(ping->senderID, kOwnID);
    EXPECT_EQ(ping->transactionID, "abcdp");
}

TEST(DHTTransactions, RepliesMustComeFromTheQueriedAddressAndEndTheTransaction)
{
    DHTTransactions transactions;
    const DhtNodeAddress node = endpoint("10.0.0.1", 6881);
    const QByteArray t = transactions.add({DHTTransaction::Kind::GetPeers, node, kInfoHash, 3});
    EXPECT_FALSE(transactions.take(t, endpoint("10.0.0.1", 6882)));
    EXPECT_FALSE(transactions.take(t, endpoint("10.0.0.2", 6881)));
    EXPECT_FALSE(transactions.take("unknown", node));
    const auto taken = transactions.take(t, node);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->infoHash, kInfoHash);
    EXPECT_EQ(taken->lookupSerial, 3u);
    EXPECT_FALSE(transactions.take(t, node));
}

TEST(DHTTransactions, UnansweredQueriesAreForgottenAtTheSecondSweep)
{
    DHTTransactions transactions;
    const DhtNodeAddress node = endpoint("10.0.0.1", 6881);
    const QByteArray early = transactions.add({DHTTransaction::Kind::Ping, node, {}, 0});
    transactions.sweep();
    const QByteArray late = transactions.add({DHTTransaction::Kind::Ping, node, {}, 0});
    transactions.sweep();
    EXPECT_EQ(transactions.count(), 1);
    EXPECT_FALSE(transactions.take(early, node));
    EXPECT_TRUE(transactions.take(late, node));
}
