// Per-message byte work of the peer wire and the per-row size texts of the lists.
#include "kit/ByteReader.h"
#include "kit/ByteWriter.h"
#include "kit/PZByteSize.h"

#include <benchmark/benchmark.h>

using namespace ombrelay;

// A "piece" message header: length prefix, id, piece index, offset.
static void writeMessageHeaders(benchmark::State& state)
{
    QByteArray buffer;
    buffer.reserve(1 << 16);
    quint32 piece = 0;
    for (auto _ : state) {
        if (buffer.size() > (1 << 16) - 13)
            buffer.resize(0);
        appendBigEndian4(buffer, 9 + 16384);
        appendByte(buffer, 7);
        appendBigEndian4(buffer, piece++);
        appendBigEndian4(buffer, 16384);
        benchmark::DoNotOptimize(buffer.constData());
    }
    state.SetBytesProcessed(state.iterations() * 13);
}
BENCHMARK(writeMessageHeaders);

static void readMessageHeaders(benchmark::State& state)
{
    QByteArray stream;
    for (quint32 i = 0; i < 4096; ++i) {
        appendBigEndian4(stream, 9);
        appendByte(stream, 7);
        appendBigEndian4(stream, i);
        appendBigEndian4(stream, 0);
    }
    for (auto _ : state) {
        ByteReader reader(stream);
        quint64 sum = 0;
        while (!reader.atEnd()) {
            sum += reader.readBigEndian4();
            sum += reader.readByte();
            sum += reader.readBigEndian4();
            sum += reader.readBigEndian4();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(readMessageHeaders);

static void byteSizeText(benchmark::State& state)
{
    quint64 value = 1'234'567;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PZByteSize(value).description());
        value += 7919;
    }
}
BENCHMARK(byteSizeText);

BENCHMARK_MAIN();
