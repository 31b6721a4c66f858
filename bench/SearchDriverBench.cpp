// The headless search driver against a loopback proxy: 10 result pages linking 1,000 distinct torrent
// files and 200 duplicate links. Reports the wall time to "done" and the driver's worst main-loop stall.
#include "support/HttpTestServer.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QByteArray torrentBytes(int n)
{
    const QByteArray name = "result-" + QByteArray::number(n);
    return "d4:infod6:lengthi" + QByteArray::number(1000 + n) + "e4:name" + QByteArray::number(name.size()) + ':'
        + name + "12:piece lengthi16384e6:pieces20:" + QByteArray(20, 'p') + "ee";
}

void driverListsAThousandResults(benchmark::State& state)
{
    HttpTestServer proxy;
    if (!proxy.listen())
        return state.SkipWithError("no loopback port");
    for (int p = 0; p < 10; ++p) {
        QByteArray page = "<html><body>";
        for (int i = 0; i < 100; ++i)
            page += "<a href='/t/" + QByteArray::number(p * 100 + i) + ".torrent'>r</a>";
        for (int i = 0; i < 20; ++i)  // links to files that other pages list
            page += "<a href='/t/" + QByteArray::number((p * 100 + 500 + i) % 1000) + ".torrent'>d</a>";
        proxy.route("pages.test", "/p" + QByteArray::number(p), HttpTestResponse{200, {}, page + "</body></html>"});
    }
    for (int n = 0; n < 1000; ++n)
        proxy.route("pages.test", "/t/" + QByteArray::number(n) + ".torrent", HttpTestResponse{200, {}, torrentBytes(n)});
    QStringList sites;
    for (int p = 0; p < 10; ++p)
        sites << QStringLiteral("--site") << QStringLiteral("P%1=http://pages.test/p%1?q=%@").arg(p);

    for (auto _ : state) {
        QTemporaryDir data;
        QProcess driver;
        QElapsedTimer clock;
        clock.start();
        driver.start(QStringLiteral(OMBRELAY_SEARCH_DRIVER),
                     QStringList{"--data", data.path(), "--proxy", proxy.url("").toString(), "--timeout", "60",
                                 "--query", "bench"} + sites);
        waitUntil([&] { return driver.state() == QProcess::NotRunning; }, 70000);
        state.SetIterationTime(double(clock.elapsed()) / 1000.0);
        int results = 0;
        double stall = -1;
        for (const QByteArray& line : driver.readAllStandardOutput().split('\n')) {
            results += line.startsWith("result\t");
            if (line.startsWith("stall\t"))
                stall = line.mid(6).toDouble();
        }
        if (driver.exitCode() != 0 || results != 1000)
            state.SkipWithError("the driver did not list 1,000 results");
        state.counters["results"] = results;
        state.counters["stall_ms"] = stall;
    }
}

}  // namespace

BENCHMARK(driverListsAThousandResults)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
