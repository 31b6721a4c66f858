// Result pages: scanning a large page for torrent links, a page made only of "href", and the torrent-link
// rules over many addresses.
#include "kit/ServiceAddresses.h"
#include "search/PageLinkScanner.h"
#include "search/TorrentLinkRules.h"

#include <QStringList>
#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

// About 8 MiB: 100,000 links, relative and absolute, 400 of them distinct torrent files.
QString largePage()
{
    QString page;
    page.reserve(9 << 20);
    page += QStringLiteral("<html><body>\n");
    for (int i = 0; i < 100000; ++i) {
        if (i % 250 == 0)
            page += QStringLiteral("<tr><td class=\"name\"><a href=\"/files/%1/Some.Release.Name.%1.torrent\" "
                                   "title=\"Download\">Some Release Name %1</a></td></tr>\n").arg(i);
        else if (i % 2)
            page += QStringLiteral("<tr><td class=\"name\"><a href=\"http://site.test/details/%1/Some_Name?x=1&amp;y=2\" "
                                   "title=\"Details\">Some Name %1</a></td></tr>\n").arg(i);
        else
            page += QStringLiteral("<tr><td class=\"name\"><a href='../browse/%1.html' class=x>Browse page "
                                   "number %1 of the site</a></td></tr>\n").arg(i);
    }
    return page;
}

void scanLargePage(benchmark::State& state)
{
    const QString page = largePage();
    const QUrl base(QStringLiteral("http://site.test/search/q"));
    for (auto _ : state) {
        const PageLinkScanner::Result result = PageLinkScanner::extractLinks(page, base);
        if (result.links.size() != 400)
            state.SkipWithError("wrong number of links");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

void scanOnlyHref(benchmark::State& state)
{
    const QString page = QStringLiteral("href").repeated((8 << 20) / 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(PageLinkScanner::extractLinks(page, QUrl(QStringLiteral("http://site.test/"))));
    state.SetBytesProcessed(state.iterations() * page.size());
}

void rulesOverManyAddresses(benchmark::State& state)
{
    const char* hosts[] = {service::kRuleHostA, service::kRuleHostI, service::kRuleHostL, service::kRuleHostM,
                           service::kRuleHostN, service::kRuleHostO, service::kRuleHostR, "site.test", "other.test"};
    QStringList addresses;
    for (int i = 0; i < 100000; ++i)
        addresses.append(QStringLiteral("http://%1/torrent/%2/Name_%2%3")
                             .arg(QLatin1String(hosts[i % 9]))
                             .arg(i)
                             .arg(i % 3 ? QStringLiteral(".html") : QStringLiteral(".torrent")));
    for (auto _ : state) {
        int links = 0;
        for (const QString& address : addresses)
            links += !TorrentLinkRules::torrentAddressFromAddress(address).isNull();
        benchmark::DoNotOptimize(links);
    }
    state.SetItemsProcessed(state.iterations() * addresses.size());
}

}  // namespace

BENCHMARK(scanLargePage)->Unit(benchmark::kMillisecond);
BENCHMARK(scanOnlyHref)->Unit(benchmark::kMillisecond);
BENCHMARK(rulesOverManyAddresses)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
