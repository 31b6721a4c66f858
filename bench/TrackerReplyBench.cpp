// Reading announce replies: 200 compact peers (what numwant=200 asks for), the same as dictionaries,
// and the largest reply accepted (2 MiB of compact peers).
#include "engine/bencode/Bencoder.h"
#include "engine/tracker/AnnounceReply.h"

#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

QByteArray compactReply(int peers)
{
    QByteArray bytes;
    for (int n = 0; n < peers; ++n) {
        const char entry[6] = {10, char(n >> 16), char(n >> 8), char(n), char(0x1a), char(0xe1)};
        bytes.append(entry, 6);
    }
    BValue root;
    root.insert("interval", 1800);
    root.insert("complete", 120);
    root.insert("incomplete", 80);
    root.insert("peers", bytes);
    return Bencoder::bencodingForObject(root);
}

QByteArray dictionaryReply(int peers)
{
    BValue list = BValue::list();
    for (int n = 0; n < peers; ++n) {
        BValue peer;
        peer.insert("ip", QByteArray("10.0.") + QByteArray::number(n / 250) + '.' + QByteArray::number(n % 250 + 1));
        peer.insert("port", 6881);
        peer.insert("peer id", QByteArray(20, 'p'));
        list.append(std::move(peer));
    }
    BValue root;
    root.insert("interval", 1800);
    root.insert("peers", std::move(list));
    return Bencoder::bencodingForObject(root);
}

void parse(benchmark::State& state, const QByteArray& body)
{
    for (auto _ : state) {
        auto reply = AnnounceReply::parse(body);
        benchmark::DoNotOptimize(reply);
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

void BM_Compact200(benchmark::State& state) { parse(state, compactReply(200)); }
void BM_Dictionary200(benchmark::State& state) { parse(state, dictionaryReply(200)); }
void BM_CompactLargest(benchmark::State& state) { parse(state, compactReply((2 << 20) / 6 - 20)); }

}  // namespace

BENCHMARK(BM_Compact200);
BENCHMARK(BM_Dictionary200);
BENCHMARK(BM_CompactLargest);
BENCHMARK_MAIN();
