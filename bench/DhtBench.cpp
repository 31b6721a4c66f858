// DHT: reading a get_peers reply, filling the routing table and picking the nodes for a lookup.
#include "engine/bencode/Bencoder.h"
#include "engine/dht/DHTMessage.h"
#include "engine/dht/DHTRoutingTable.h"

#include <QRandomGenerator>
#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

struct SilentSender : DHTQuerySender
{
    void sendPing(const DhtNodeAddress&) override {}
    void sendFindNode(const DhtNodeAddress&, const DHTIdentifier&) override {}
};

DHTIdentifier randomID(QRandomGenerator& random)
{
    QByteArray bytes(20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), 5);
    return *DHTIdentifier::fromData(bytes);
}

QByteArray getPeersReply()
{
    QRandomGenerator random(7);
    QByteArray nodes;
    for (int i = 0; i < 8; ++i)
        nodes += randomID(random).data() + QByteArray::fromHex("0a0000011ae1");
    BValue values = BValue::list();
    for (int i = 0; i < 50; ++i)
        values.append(QByteArray::fromHex("0a000002") + QByteArray(1, char(i)) + QByteArray(1, '\x01'));
    BValue r;
    r.insert("id", randomID(random).data());
    r.insert("nodes", nodes);
    r.insert("token", "token-bytes");
    r.insert("values", values);
    BValue message;
    message.insert("r", r);
    message.insert("t", QByteArray(24, 'T'));
    message.insert("y", "r");
    return Bencoder::bencodingForObject(message);
}

void BM_ParseGetPeersReply(benchmark::State& state)
{
    const QByteArray datagram = getPeersReply();
    for (auto _ : state)
        benchmark::DoNotOptimize(DHTMessage::parse(datagram));
    state.SetBytesProcessed(qint64(state.iterations()) * datagram.size());
}
BENCHMARK(BM_ParseGetPeersReply);

void BM_FillRoutingTable(benchmark::State& state)
{
    QRandomGenerator random(11);
    SilentSender sender;
    for (auto _ : state) {
        DHTRoutingTable table(randomID(random), sender);
        for (int i = 0; i < state.range(0); ++i) {
            auto node = table.cacheNode(randomID(random), DhtNodeAddress{0x0100000a, quint16(1 + i)});
            node->noteReplyReceived(DHTNode::now());
            table.addNode(node);
        }
        benchmark::DoNotOptimize(table.buckets().size());
    }
    state.SetItemsProcessed(qint64(state.iterations()) * state.range(0));
}
BENCHMARK(BM_FillRoutingTable)->Arg(1000)->Arg(DHTRoutingTable::kNodeCacheLimit);

void BM_NodesClosestTo(benchmark::State& state)
{
    QRandomGenerator random(13);
    SilentSender sender;
    DHTRoutingTable table(randomID(random), sender);
    for (int i = 0; i < DHTRoutingTable::kNodeCacheLimit; ++i) {
        auto node = table.cacheNode(randomID(random), DhtNodeAddress{0x0100000a, quint16(1 + i)});
        node->noteReplyReceived(DHTNode::now());
        table.addNode(node);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(table.nodesClosestTo(randomID(random)));
}
BENCHMARK(BM_NodesClosestTo);

}  // namespace

BENCHMARK_MAIN();
