// Decoding and encoding a metainfo of 100,000 files.
#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"

#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

QByteArray largeMetainfo()
{
    constexpr int files = 100'000;
    constexpr qint64 pieceLength = 1 << 20;
    BValue list = BValue::list();
    qint64 total = 0;
    for (int n = 0; n < files; ++n) {
        BValue file;
        const qint64 length = 1000 + qint64(n) * 7919 % 5'000'000;
        file.insert("length", length);
        file.insert("path", BValue::List{BValue(QByteArray("folder ") + QByteArray::number(n / 1000)),
                                         BValue(QByteArray("file number ") + QByteArray::number(n) + ".dat")});
        list.append(std::move(file));
        total += length;
    }
    BValue info;
    info.insert("files", std::move(list));
    info.insert("name", "Large torrent");
    info.insert("piece length", pieceLength);
    info.insert("pieces", QByteArray(int((total + pieceLength - 1) / pieceLength) * 20, '\x5a'));
    BValue metainfo;
    metainfo.insert("announce", "http://127.0.0.1:6969/announce");
    metainfo.insert("creation date", 1700000000);
    metainfo.insert("info", std::move(info));
    return Bencoder::bencodingForObject(metainfo);
}

const QByteArray& metainfo()
{
    static const QByteArray data = largeMetainfo();
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
