// The source list with 10,000 items in 500 expanded folders: loading and painting it, adding a search
// to it, and how often a 100-step drag of the sidebar's divider writes the settings.
#include "app/frame/KoContentView.h"
#include "app/frame/MainSplitView.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourceListStorage.h"
#include "app/frame/SourceView.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

constexpr int kFolders = 500;
constexpr int kPerFolder = 19;  // 500 folders + 9,500 searches = 10,000 items

struct StoredList
{
    QTemporaryDir folder;

    StoredList()
    {
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        AppPaths::setApplicationSupportPath(folder.filePath(QStringLiteral("data")));
        auto root = SourceItem::makeGroup({}, {});
        for (int f = 0; f < kFolders; ++f) {
            auto group = SourceItem::makeGroup(QStringLiteral("Folder %1").arg(f), QDateTime::currentDateTimeUtc());
            group->setExpanded(true);
            for (int q = 0; q < kPerFolder; ++q)
                group->insertChild(q, SourceItem::makeQuery(QStringLiteral("search %1 %2").arg(f).arg(q)));
            root->insertChild(f, std::move(group));
        }
        SourceListStorage::save(Settings::instance(), *root);
    }
};

StoredList& storedList()
{
    static StoredList list;
    return list;
}

void BM_LoadAndPaint(benchmark::State& state)
{
    storedList();
    for (auto _ : state) {
        SourceView view(Settings::instance());
        view.resize(220, 600);
        view.show();
        view.loadFromDefaults();
        view.viewport()->repaint();
        benchmark::DoNotOptimize(view.visibleItems().size());
    }
}
BENCHMARK(BM_LoadAndPaint)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AddSearch(benchmark::State& state)
{
    storedList();
    SourceView view(Settings::instance());
    view.resize(220, 600);
    view.show();
    view.loadFromDefaults();
    view.selectItem(view.root().child(kFolders / 2)->child(0));
    int n = 0;
    for (auto _ : state) {
        view.addNewQueryForString(QStringLiteral("new search %1").arg(n++));
        view.viewport()->repaint();
    }
    view.saveNow();
}
BENCHMARK(BM_AddSearch)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_DividerDrag(benchmark::State& state)
{
    storedList();
    MainSplitView split(Settings::instance());
    split.setSubviews(new QWidget, new KoContentView);
    split.resize(1000, 600);
    split.show();
    int writes = 0;
    QObject::connect(&Settings::instance(), &Settings::changed, &split, [&](const QString& key) {
        writes += key == QLatin1String("kSplitHeight");
    });
    int drags = 0;
    for (auto _ : state) {
        // Every drag ends at a width other than the stored one.
        const int direction = drags++ % 2 ? -1 : 1;
        for (int step = 0; step < 100; ++step)
            split.dragDividerTo(300 + direction * step);
        split.dragEnded();
    }
    state.counters["settings_writes_per_drag"] = double(writes) / drags;
}
BENCHMARK(BM_DividerDrag)->Unit(benchmark::kMicrosecond)->Iterations(10);

}  // namespace
