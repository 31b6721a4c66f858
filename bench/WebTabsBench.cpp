// The window's busiest interface moments without a page: 1,000 toolbar switches between the web toolbar
// and another one, and a strip of 100 tabs laid out and painted.
#include "app/frame/KoContentView.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/toolbar/KoMainToolbarDelegate.h"
#include "kit/Settings.h"
#include "uikit/PZViewController.h"

#include <QCoreApplication>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace ombrelay;

namespace {

class PlainDelegate : public KoToolbarDelegate
{
public:
    QString toolbarIdentifier() const override { return QStringLiteral("PlainToolbarA"); }
    QStringList toolbarDefaultItemIdentifiers() const override { return {QStringLiteral("item_search"), kSeparator, kFlexibleSpace}; }
};

class TitledPane : public PZViewController
{
public:
    explicit TitledPane(int index) { setTitle(QStringLiteral("Search site %1").arg(index)); }
};

void BM_ThousandToolbarSwitches(benchmark::State& state)
{
    QTemporaryDir folder;
    Settings settings(folder.filePath("settings.conf"));
    QMainWindow window;
    auto* content = new KoContentView;
    content->setSettings(&settings);
    window.setCentralWidget(content);
    window.resize(900, 500);
    window.show();
    PlainDelegate plain;
    for (auto _ : state) {
        for (int i = 0; i < 500; ++i) {
            content->setToolbarDelegate(&KoMainToolbarDelegate::instance());
            content->setToolbarDelegate(&plain);
        }
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_ThousandToolbarSwitches)->Unit(benchmark::kMillisecond);

void BM_HundredTabsLaidOutAndPainted(benchmark::State& state)
{
    PZSquareTabView strip;
    strip.resize(1200, PZSquareTabView::kHeight);
    for (int i = 0; i < 100; ++i)
        strip.addTabWithController(new TitledPane(i));
    strip.selectButtonAtIndex(3);
    QImage canvas(strip.size(), QImage::Format_ARGB32_Premultiplied);
    int width = 1200;
    for (auto _ : state) {
        width = width == 1200 ? 1199 : 1200;
        strip.resize(width, PZSquareTabView::kHeight);
        strip.relayoutViews();
        strip.render(&canvas);
    }
}
BENCHMARK(BM_HundredTabsLaidOutAndPainted)->Unit(benchmark::kMillisecond);

}  // namespace
