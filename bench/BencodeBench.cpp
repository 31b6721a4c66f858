// Decoding and encoding a metainfo of 100,000 files.
#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"
#include "LargeMetainfo.h"

#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

const QByteArray& metainfo()
{
    static const QByteArray data = bench::largeMetainfo(100'000);
    return data;
}

void decodeMetainfo(benchmark::State& state)
{
    const QByteArray& data = metainfo();
    for (auto _ : state) {
        Bdecoder decoder(data, Bdecoder::kMetainfoLimit);
        benchmark::DoNotOptimize(decoder.infoHash());
        if (decoder.object()["info"]["files"].size() != 100'000)
            state.SkipWithError("the metainfo did not decode");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * data.size());
    state.counters["bytes"] = double(data.size());
}

void encodeMetainfo(benchmark::State& state)
{
    const BValue value = Bdecoder(metainfo(), Bdecoder::kMetainfoLimit).takeObject();
    for (auto _ : state)
        benchmark::DoNotOptimize(Bencoder::bencodingForObject(value));
    state.SetBytesProcessed(int64_t(state.iterations()) * metainfo().size());
}

}  // namespace

BENCHMARK(decodeMetainfo)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeMetainfo)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
