// Reading a metainfo of 100,000 files in 100 folders into a torrent line: checks, tree, full paths.
#include "engine/bencode/Bencoder.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

QByteArray largeMetainfo(int files, int folders)
{
    constexpr qint64 pieceLength = 1 << 20;
    BValue list = BValue::list();
    qint64 total = 0;
    for (int n = 0; n < files; ++n) {
        BValue file;
        const qint64 length = 1000 + qint64(n) * 7919 % 5'000'000;
        file.insert("length", length);
        file.insert("path", BValue::List{BValue(QByteArray("folder ") + QByteArray::number(n % folders)),
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
    metainfo.insert("info", std::move(info));
    return Bencoder::bencodingForObject(metainfo);
}

void readMetainfo(benchmark::State& state)
{
    const int files = int(state.range(0));
    const QByteArray data = largeMetainfo(files, 100);
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
