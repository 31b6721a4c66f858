// Importing a blocklist of the size of the common public lists (250,000 ranges), and lookups in it.
#include "engine/blocklist/Blocklist.h"
#include "engine/blocklist/BlocklistImport.h"
#include "kit/Settings.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

using namespace ombrelay;

namespace {

constexpr int kRanges = 250'000;

QString writeList(const QTemporaryDir& dir)
{
    QByteArray text;
    QRandomGenerator random(7);
    for (int i = 0; i < kRanges; ++i) {
        const quint32 lower = random.generate();
        const quint32 upper = lower + random.bounded(4096);
        text += QStringLiteral("Range %1:%2.%3.%4.%5-%6.%7.%8.%9\r\n")
                    .arg(i)
                    .arg(lower >> 24).arg((lower >> 16) & 0xFF).arg((lower >> 8) & 0xFF).arg(lower & 0xFF)
                    .arg(upper >> 24).arg((upper >> 16) & 0xFF).arg((upper >> 8) & 0xFF).arg(upper & 0xFF)
                    .toLatin1();
    }
    const QString path = dir.filePath("level1.txt");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

void BM_Import(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString list = writeList(dir);
    const std::atomic_bool cancelled{false};
    for (auto _ : state) {
        const BlocklistImport::Outcome outcome =
            BlocklistImport::run(dir.filePath("Blocklist.db"), list, cancelled, [](double) {});
        if (outcome.result != BlocklistImport::Result::Succeeded)
            state.SkipWithError("import failed");
    }
    state.SetItemsProcessed(state.iterations() * kRanges);
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Lookup(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::atomic_bool cancelled{false};
    BlocklistImport::run(dir.filePath("Blocklist.db"), writeList(dir), cancelled, [](double) {});
    Settings settings(dir.filePath("settings.ini"));
    settings.setBool(QStringLiteral("kBlocklistEnabled"), true);
    Blocklist blocklist(dir.filePath("Blocklist.db"), settings);
    QRandomGenerator random(11);
    qint64 blocked = 0;
    for (auto _ : state)
        blocked += blocklist.isBlocked(qToBigEndian(random.generate()));
    state.counters["blocked"] = double(blocked) / double(state.iterations());
}
BENCHMARK(BM_Lookup);

}  // namespace

BENCHMARK_MAIN();
