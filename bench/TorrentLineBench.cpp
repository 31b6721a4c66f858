// Reading a metainfo of 100,000 files into a torrent line: checks, tree, full paths.
#include "LargeMetainfo.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

void readMetainfo(benchmark::State& state)
{
    const int files = int(state.range(0));
    const QByteArray data = bench::largeMetainfo(files);
    for (auto _ : state) {
        const TorrentLinePtr torrent = TorrentLine::torrentLineForData(data);
        if (!torrent || torrent->files().size() != files) {
            state.SkipWithError("the metainfo was refused");
            break;
        }
        torrent->setDownloadPath(QStringLiteral("/downloads"));
        benchmark::DoNotOptimize(torrent->files().last()->fullPath());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * files);
    state.SetBytesProcessed(int64_t(state.iterations()) * data.size());
}

}  // namespace

BENCHMARK(readMetainfo)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
