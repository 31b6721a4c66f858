// The search-sites table of the preferences with 500 user sites: opening the general pane, a drag of the
// last site to the top with its settings write, and a switch.
#include "app/prefs/KoGeneralPreferences.h"
#include "app/prefs/SearchSitesTableView.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/PropertyList.h"
#include "kit/Settings.h"
#include "search/SearchSites.h"

#include <QDateTime>
#include <QMimeData>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace ombrelay;

namespace {

constexpr int kUserSites = 500;
constexpr int kFirstUserRow = 7;

struct StoredSites
{
    QTemporaryDir folder;

    StoredSites()
    {
        // Site icons are asked of a loopback port where nothing listens.
        qputenv("http_proxy", "http://127.0.0.1:9");
        qputenv("https_proxy", "http://127.0.0.1:9");
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        AppPaths::setApplicationSupportPath(folder.filePath(QStringLiteral("data")));
        registerDefaultSettings(Settings::instance());
        QVariantList sites;
        for (int n = 0; n < kUserSites; ++n)
            sites.append(QVariantMap{{QStringLiteral("name"), QStringLiteral("Search site %1").arg(n)},
                                     {QStringLiteral("url"), QStringLiteral("http://site%1.invalid/search?q=%@").arg(n)},
                                     {QStringLiteral("isEnabled"), QStringLiteral("1")},
                                     {QStringLiteral("type"), QStringLiteral("0")},
                                     {QStringLiteral("creationDate"), QDateTime::currentDateTimeUtc()}});
        Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(sites));
        Settings::instance().sync();
    }
};

StoredSites& storedSites()
{
    static StoredSites sites;
    return sites;
}

// The general pane on the screen, over the stored sites.
struct ShownPane
{
    KoGeneralPreferences pane;

    ShownPane()
    {
        storedSites();
        pane.resize(560, 640);
        pane.show();
    }
    SearchSitesTableView& table() { return *pane.sitesTable(); }
};

void BM_OpenGeneralPane(benchmark::State& state)
{
    storedSites();
    for (auto _ : state) {
        ShownPane shown;
        shown.pane.repaint();
        benchmark::DoNotOptimize(shown.table().numberOfRows());
    }
}
BENCHMARK(BM_OpenGeneralPane)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_DragLastSiteToTheTop(benchmark::State& state)
{
    ShownPane shown;
    SearchSitesTableView& table = shown.table();
    const int lastRow = table.numberOfRows() - 1;
    for (auto _ : state) {
        std::unique_ptr<QMimeData> drag(table.mimeDataForRow(lastRow));
        if (!table.acceptDrop(drag.get(), kFirstUserRow))
            state.SkipWithError("drop refused");
        Settings::instance().sync();
        table.viewport()->repaint();
    }
}
BENCHMARK(BM_DragLastSiteToTheTop)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_SwitchAUserSite(benchmark::State& state)
{
    ShownPane shown;
    SearchSitesTableView& table = shown.table();
    bool on = false;
    for (auto _ : state) {
        table.enable(on, kFirstUserRow);
        on = !on;
        Settings::instance().sync();
        table.viewport()->repaint();
    }
}
BENCHMARK(BM_SwitchAUserSite)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
