// Piece verification against `openssl speed -evp sha1` on 16 KiB blocks, and the cost of storing a
// download. bench/store-fsyncs.sh counts the syncs of the store benchmark.
#include "engine/storage/PieceStore.h"
#include "kit/PZCrypto.h"
#include "kit/SerialQueue.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace ombrelay;

namespace {

constexpr qint64 kPieceLength = 256 * 1024;
constexpr qint64 kBlock = 16384;
double opensslBytesPerSecond = 0;

// The rate `openssl speed -evp sha1` reports for 16 KiB blocks; 0 when it cannot be run.
double measureOpenssl()
{
    FILE* pipe = ::popen("openssl speed -evp sha1 -bytes 16384 -seconds 2 2>/dev/null", "r");
    if (!pipe)
        return 0;
    char line[512];
    double kilobytes = 0;
    while (std::fgets(line, sizeof line, pipe)) {
        std::fputs(line, stdout);
        std::sscanf(line, "sha1 %lfk", &kilobytes);
    }
    ::pclose(pipe);
    return kilobytes * 1000;
}

QByteArray randomBytes(qint64 length)
{
    QByteArray data(length, Qt::Uninitialized);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    return data;
}

QByteArray pieceHashes(const QByteArray& content)
{
    QByteArray hashes;
    for (qint64 at = 0; at < content.size(); at += kPieceLength)
        hashes += PZCrypto::sha1(content.mid(at, kPieceLength));
    return hashes;
}

void reportAgainstOpenssl(benchmark::State& state, qint64 bytes)
{
    state.SetBytesProcessed(bytes);
    if (opensslBytesPerSecond > 0)
        state.counters["of_openssl"] = benchmark::Counter(double(bytes) / opensslBytesPerSecond,
                                                          benchmark::Counter::kIsRate);
}

// The hasher alone, fed 16 KiB blocks from memory: what openssl measures.
void sha1Of16KiBBlocks(benchmark::State& state)
{
    const QByteArray block = randomBytes(kBlock);
    Sha1Hasher hasher;
    qint64 bytes = 0;
    for (auto _ : state) {
        hasher.update(block);
        bytes += kBlock;
        if (bytes % kPieceLength == 0)
            benchmark::DoNotOptimize(hasher.finish());
    }
    reportAgainstOpenssl(state, bytes);
}
BENCHMARK(sha1Of16KiBBlocks);

// The store's check of pieces already on disk (in the page cache): reads in chunks and hashes.
void verifyPieces(benchmark::State& state)
{
    QTemporaryDir dir;
    const QByteArray content = randomBytes(256 * kPieceLength);
    QFile file(dir.filePath("data"));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        state.SkipWithError("cannot write the data");
        return;
    }
    file.close();
    const PieceGeometry geometry(kPieceLength, content.size());
    const QByteArray hashes = pieceHashes(content);
    qint64 bytes = 0;
    for (auto _ : state) {
        PieceStore store(geometry, {{file.fileName(), 0, content.size(), true}}, hashes);
        PZIndexSet verified;
        QObject::connect(&store, &PieceStore::existingDataChecked, [&](const PZIndexSet& set) { verified = set; });
        store.checkExistingData();
        PieceStore::drainQueues();
        QCoreApplication::processEvents();
        if (verified.count() != geometry.pieceCount()) {
            state.SkipWithError("pieces did not verify");
            return;
        }
        bytes += content.size();
    }
    reportAgainstOpenssl(state, bytes);
}
BENCHMARK(verifyPieces)->UseRealTime()->Unit(benchmark::kMillisecond);

// A 256 MiB download over two files stored block by block, every piece checked and synced.
void store256MiB(benchmark::State& state)
{
    const QByteArray content = randomBytes(256LL * 1024 * 1024);
    const PieceGeometry geometry(kPieceLength, content.size());
    const QByteArray hashes = pieceHashes(content);
    const qint64 split = content.size() / 3 + 5;
    for (auto _ : state) {
        QTemporaryDir dir;
        PieceStore store(geometry,
                         {{dir.filePath("one"), 0, split, true}, {dir.filePath("two"), split, content.size() - split, true}},
                         hashes);
        store.setBitfieldFolder(dir.path());
        quint32 verified = 0;
        QObject::connect(&store, &PieceStore::pieceVerified, [&](quint32) { ++verified; });
        for (quint32 piece = 0; piece < geometry.pieceCount(); ++piece) {
            for (quint32 b = 0; b < geometry.blocksInPiece(piece); ++b) {
                const qint64 at = geometry.blockSpan(geometry.firstBlockOfPiece(piece) + b).start;
                store.storeBlock(piece, quint32(at - geometry.pieceSpan(piece).start), content.mid(at, kBlock));
            }
            if (piece % 64 == 63)
                QCoreApplication::processEvents();
        }
        while (verified < geometry.pieceCount()) {
            PieceStore::drainQueues();
            QCoreApplication::processEvents();
        }
        store.saveBitfields();
        PieceStore::drainQueues();
    }
    state.SetBytesProcessed(state.iterations() * content.size());
    state.counters["pieces"] = double(geometry.pieceCount());
}
BENCHMARK(store256MiB)->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    opensslBytesPerSecond = measureOpenssl();
    std::printf("openssl sha1, 16 KiB blocks: %.0f MB/s\n", opensslBytesPerSecond / 1e6);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
