// Search suggestions: reading a 64 KiB reply of 2,000 records, and 20 keystrokes 40 ms apart against a
// loopback service answering in 30 ms. "main_gap_ms" is the longest the main loop went without turning
// while typing; "listed" the rows shown at the end.
#include "kit/Settings.h"
#include "search/suggestions/SearchField.h"
#include "search/suggestions/SuggestionLoader.h"
#include "search/suggestions/SuggestionView.h"
#include "support/HttpTestServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QByteArray reply(int records, qsizetype size)
{
    QByteArray body = "[\"q\",[";
    for (int i = 0; i < records; ++i)
        body += "[\"suggestion " + QByteArray::number(i) + " \\u0026 more\",0,[512]],";
    body.chop(1);
    body += "],{\"k\":1}]])";
    return body.size() > size ? body.left(size - 5) + "]]])" : body;
}

void BM_ReadReply(benchmark::State& state)
{
    QByteArray body = reply(2000, SuggestionLoader::kReplyCap);
    // Every record but the last 20 blocked: the reader walks the whole reply.
    body.replace("suggestion", "crack ster");
    state.counters["bytes"] = double(body.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(SuggestionLoader::resultsFromData(body));
}
BENCHMARK(BM_ReadReply)->Unit(benchmark::kMicrosecond);

void BM_TypeTwentyKeys(benchmark::State& state)
{
    QTemporaryDir dir;
    Settings::useFile(dir.filePath("settings.ini"));
    Settings::instance().setValue("kVistrelEnabled", "1");
    Settings::instance().setValue("kVistrelAvailable", "1");
    HttpTestServer server;
    server.listen();
    HttpTestResponse answer;
    answer.body = reply(20, 4096);
    answer.delayMs = 30;
    server.route("/complete/search", answer);
    qputenv("http_proxy", server.url("/").adjusted(QUrl::RemovePath).toEncoded());
    qunsetenv("no_proxy");
    for (auto _ : state) {
        SearchField field;
        field.resize(200, 22);
        field.show();
        QElapsedTimer sinceTurn;
        qint64 gap = 0;
        QTimer probe;
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            gap = std::max(gap, sinceTurn.restart());
        });
        sinceTurn.start();
        probe.start();
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(&field, char('a' + i % 26));
            QTest::qWait(40);
        }
        QTest::qWait(200);
        state.counters["main_gap_ms"] = double(gap);
        state.counters["listed"] = double(field.suggestionView()->numberOfSuggestions());
    }
    qunsetenv("http_proxy");
}
BENCHMARK(BM_TypeTwentyKeys)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
