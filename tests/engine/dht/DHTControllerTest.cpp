#include "ScriptedNode.h"
#include "engine/dht/DHTController.h"
#include "kit/Settings.h"

#include <QSignalSpy>
#include <fcntl.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::dhttest;

namespace {

const QByteArray kInfoHash = QByteArray::fromHex("5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a");
const DHTIdentifier kTarget = *DHTIdentifier::fromData(kInfoHash);

std::unique_ptr<DHTController> makeController()
{
    auto socket = DHTSocket::bind(inet_addr("127.0.0.1"), 0);
    EXPECT_TRUE(socket);
    return std::make_unique<DHTController>(std::move(socket),
                                           DHTController::Options{QString(), idWithTop(0x33, 0x33)});
}

DhtNodeAddress controllerEndpoint(DHTController& controller)
{
    return endpoint("127.0.0.1", controller.socket()->localPort());
}

QByteArray compactPeer(const char* address, quint16 port)
{
    return compactAddress(endpoint(address, port));
}

BValue valuesReply(const QList<QByteArray>& peers)
{
    return BValue::Dict{{"token", "tk"}, {"values", BValue::List(peers.begin(), peers.end())}};
}

BValue nodesReply(const QByteArray& nodes)
{
    return BValue::Dict{{"nodes", nodes}, {"token", "tk"}};
}

QSet<QByteArray> peersIn(const QSignalSpy& spy)
{
    QSet<QByteArray> peers;
    for (const QList<QVariant>& signal : spy) {
        EXPECT_EQ(signal.at(0).toByteArray(), kInfoHash);
        const QByteArray compact = signal.at(1).toByteArray();
        for (qsizetype i = 0; i + 6 <= compact.size(); i += 6)
            peers.insert(compact.mid(i, 6));
    }
    return peers;
}

}  // namespace

TEST(DHTController, LookupFollowsNodesToThePeersOfTheTorrent)
{
    auto controller = makeController();
    QSignalSpy peers(controller.get(), &DHTController::peersFound);
    QSignalSpy finished(controller.get(), &DHTController::lookupFinished);

    ScriptedNode seed("127.0.0.2"), nearA("127.0.0.3"), nearB("127.0.0.4"), empty("127.0.0.5");
    nearA.id = atDistance(kTarget, 1);
    nearB.id = atDistance(kTarget, 2);
    empty.id = atDistance(kTarget, 3);
    const QByteArray peerA = compactPeer("127.0.0.1", 51413);
    const QByteArray peerB = compactPeer("127.0.0.1", 51414);
    seed.answer = [&](const BValue& q, const DhtNodeAddress&) {
        EXPECT_EQ(q["a"]["info_hash"].asBytes(), kInfoHash);
        return nodesReply(compactNodeInfo(nearA.id, nearA.endpoint()) + compactNodeInfo(nearB.id, nearB.endpoint())
                          + compactNodeInfo(empty.id, empty.endpoint()));
    };
    nearA.answer = [&](const BValue&, const DhtNodeAddress&) { return valuesReply({peerA}); };
    nearB.answer = [&](const BValue&, const DhtNodeAddress&) {
        // Names a node already asked, which is not asked again, and carries one malformed value.
        BValue r = valuesReply({peerB, QByteArray("short")});
        r.insert("nodes", compactNodeInfo(nearA.id, nearA.endpoint()));
        return r;
    };
    empty.answer = [&](const BValue&, const DhtNodeAddress&) { return nodesReply(QByteArray()); };

    controller->findPeers(kInfoHash, {seed.endpoint()});
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }));
    EXPECT_EQ(peersIn(peers), (QSet<QByteArray>{peerA, peerB}));
    EXPECT_EQ(seed.count("get_peers"), 1);
    EXPECT_EQ(nearA.count("get_peers"), 1);
    EXPECT_EQ(nearB.count("get_peers"), 1);
    EXPECT_EQ(empty.count("get_peers"), 1);
    EXPECT_EQ(finished.at(0).at(1).toInt(), 4);
    // Every node that answered is now known and good.
    EXPECT_EQ(controller->routingTable().goodNodes().size(), 4);

    // A later lookup for the same torrent asks again.
    controller->findPeers(kInfoHash);
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 2; }));
    EXPECT_EQ(nearA.count("get_peers"), 2);
}

TEST(DHTController, SpoofedUnsolicitedAndRepeatedRepliesAreIgnored)
{
    auto controller = makeController();
    QSignalSpy peers(controller.get(), &DHTController::peersFound);
    QSignalSpy finished(controller.get(), &DHTController::lookupFinished);

    ScriptedNode node("127.0.0.2"), otherAddress("127.0.0.9"), otherPort("127.0.0.2"), listener("127.0.0.7");
    const DhtNodeAddress us = controllerEndpoint(*controller);
    const QByteArray realPeer = compactPeer("127.0.0.1", 6000);
    const QByteArray forgedPeer = compactPeer("127.0.0.66", 6666);
    const QByteArray luringNodes = compactNodeInfo(atDistance(kTarget, 1), listener.endpoint());
    node.answer = [&](const BValue& q, const DhtNodeAddress&) {
        const QByteArray t = q["t"].asBytes();
        BValue forged = valuesReply({forgedPeer});
        forged.insert("nodes", luringNodes);
        // The right transaction from the wrong address or port.
        otherAddress.send(ScriptedNode::replyDatagram(node.id, forged, t), us);
        otherPort.send(ScriptedNode::replyDatagram(node.id, forged, t), us);
        // The right address with a transaction we never started.
        node.send(ScriptedNode::replyDatagram(node.id, forged, kInfoHash + QByteArray("zzzz")), us);
        node.send(ScriptedNode::replyDatagram(node.id, forged, "abcdp"), us);
        // The genuine answer, then a replay of it carrying other peers.
        node.send(ScriptedNode::replyDatagram(node.id, valuesReply({realPeer}), t), us);
        return forged;
    };
    controller->findPeers(kInfoHash, {node.endpoint()});
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }));
    test::spinFor(200);
    EXPECT_EQ(peersIn(peers), QSet<QByteArray>{realPeer});
    EXPECT_TRUE(listener.queries.isEmpty());
    EXPECT_EQ(node.count("get_peers"), 1);
}

TEST(DHTController, EndlessFreshNodesGetAtMostTheBoundedNumberOfQueries)
{
    auto controller = makeController();
    QSignalSpy finished(controller.get(), &DHTController::lookupFinished);

    // Each node answers with two nodes never named before, each closer than any before.
    std::vector<std::unique_ptr<ScriptedNode>> network;
    for (int i = 0; i < 2 * DHTPeerLookup::kMaxQueries + 8; ++i)
        network.push_back(std::make_unique<ScriptedNode>());
    int named = 1;
    quint32 distance = 1'000'000;
    for (auto& scripted : network) {
        scripted->answer = [&](const BValue&, const DhtNodeAddress&) {
            QByteArray nodes;
            for (int k = 0; k < 2 && named < int(network.size()); ++k, ++named) {
                network[named]->id = atDistance(kTarget, --distance);
                nodes += compactNodeInfo(network[named]->id, network[named]->endpoint());
            }
            return nodesReply(nodes);
        };
    }
    controller->findPeers(kInfoHash, {network[0]->endpoint()});
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }, 30000));
    int asked = 0;
    for (const auto& scripted : network)
        asked += scripted->count("get_peers");
    EXPECT_EQ(asked, DHTPeerLookup::kMaxQueries);
    EXPECT_EQ(finished.at(0).at(1).toInt(), DHTPeerLookup::kMaxQueries);
    EXPECT_LT(named, int(network.size()));  // the network still had fresh nodes to offer
}

TEST(DHTController, ALookupStartsAgainAfterTheRepeatIntervalWhileTheSearchContinues)
{
    auto controller = makeController();
    controller->setRepeatInterval(100, 150);
    QSignalSpy finished(controller.get(), &DHTController::lookupFinished);
    ScriptedNode node("127.0.0.2");
    node.answer = [&](const BValue&, const DhtNodeAddress&) { return nodesReply(QByteArray()); };
    bool continues = true;
    controller->setSearchContinues([&](const QByteArray& infoHash) {
        EXPECT_EQ(infoHash, kInfoHash);
        return continues;
    });

    controller->findPeers(kInfoHash, {node.endpoint()});
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 3; }, 10000));
    EXPECT_EQ(node.count("get_peers"), 3);  // the node given once is asked by every repeat

    continues = false;
    const qsizetype lookups = finished.size();
    test::spinFor(600);
    EXPECT_LE(finished.size(), lookups + 1);  // at most the one that had already started
    EXPECT_FALSE(controller->isLookingUp(kInfoHash));
}

TEST(DHTController, AnswersPingsAndKeepsOnlyNodesThatAnswered)
{
    auto controller = makeController();
    const DhtNodeAddress us = controllerEndpoint(*controller);
    ScriptedNode stranger("127.0.0.2");
    stranger.send(DHTMessage::pingQuery(stranger.id, "xyzzp"), us);
    ASSERT_TRUE(waitUntil([&] { return stranger.replies.size() == 1; }));
    const BValue reply = stranger.replies.first();
    EXPECT_EQ(reply["t"].asBytes(), "xyzzp");
    EXPECT_EQ(reply["r"]["id"].asBytes(), controller->ownID().data());
    // A query alone does not make a node known.
    EXPECT_EQ(controller->routingTable().knownNodeCount(), 0);

    stranger.answer = [](const BValue& q, const DhtNodeAddress&) {
        return q["q"].asBytes() == "ping" ? BValue::dictionary() : BValue();
    };
    controller->pingNode(stranger.endpoint());
    ASSERT_TRUE(waitUntil([&] { return controller->routingTable().goodNodes().size() == 1; }));
    const DHTNodePtr known = controller->routingTable().nodeWithID(stranger.id);
    ASSERT_TRUE(known);
    EXPECT_EQ(known->endpoint(), stranger.endpoint());
    ASSERT_EQ(stranger.count("ping"), 1);
    EXPECT_EQ(stranger.queries.first()["t"].asBytes().size(), 5);

    // Its id claimed from another address is not credited.
    ScriptedNode impostor("127.0.0.3");
    known->setLastRequest(0);
    impostor.send(DHTMessage::pingQuery(stranger.id, "abcdp"), us);
    ASSERT_TRUE(waitUntil([&] { return impostor.replies.size() == 1; }));
    EXPECT_EQ(known->lastRequest(), 0);
    stranger.send(DHTMessage::pingQuery(stranger.id, "abcep"), us);
    ASSERT_TRUE(waitUntil([&] { return known->lastRequest() != 0; }));
}

TEST(DHTController, NodeIDIsStableAcrossRestarts)
{
    QTemporaryDir dir;
    Settings::useFile(dir.filePath("first.conf"));
    const QByteArray first = DHTController::nodeID();
    EXPECT_EQ(first.size(), 20);
    EXPECT_EQ(DHTController::nodeID(), first);
    Settings::useFile(dir.filePath("first.conf"));
    EXPECT_EQ(DHTController::nodeID(), first);
    Settings::useFile(dir.filePath("second.conf"));
    EXPECT_NE(DHTController::nodeID(), first);
    Settings::useFile(dir.filePath("scratch.conf"));
}

TEST(DHTController, StoresItsTableForTheNextLaunch)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DHT.storage");
    ScriptedNode node("127.0.0.2");
    node.answer = [](const BValue&, const DhtNodeAddress&) { return BValue::dictionary(); };
    {
        auto socket = DHTSocket::bind(inet_addr("127.0.0.1"), 0);
        DHTController controller(std::move(socket), DHTController::Options{path, idWithTop(0x11)});
        controller.pingNode(node.endpoint());
        ASSERT_TRUE(waitUntil([&] { return controller.routingTable().goodNodes().size() == 1; }));
        ASSERT_TRUE(controller.storeToDisk());
    }
    auto socket = DHTSocket::bind(inet_addr("127.0.0.1"), 0);
    DHTController controller(std::move(socket), DHTController::Options{path, idWithTop(0x11)});
    ASSERT_EQ(controller.routingTable().goodNodes().size(), 1);
    EXPECT_EQ(controller.routingTable().goodNodes().first()->nodeID(), node.id);
}

TEST(DHTController, FollowsTheEngineSocketWithoutClosingIt)
{
    auto controller = makeController();
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr("127.0.0.1");
    ASSERT_EQ(::bind(descriptor, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    controller->useSocketDescriptor(descriptor);
    ASSERT_TRUE(controller->socket());
    const DhtNodeAddress us = controllerEndpoint(*controller);

    ScriptedNode node("127.0.0.2");
    node.send(DHTMessage::pingQuery(node.id, "abcdp"), us);
    ASSERT_TRUE(waitUntil([&] { return node.replies.size() == 1; }));

    controller->useSocketDescriptor(-1);
    EXPECT_FALSE(controller->socket());
    controller->pingNode(node.endpoint());  // nothing to send with
    EXPECT_NE(::fcntl(descriptor, F_GETFD), -1);
    ::close(descriptor);
}
