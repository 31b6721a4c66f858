// The main window's split view: the divider's rules, the stored width and resizing.
#include "FrameFixtures.h"

#include "app/frame/MainSplitView.h"
#include "support/WaitUntil.h"

#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct SplitViewTest : ::testing::Test
{
    TemporarySettings settings;
};

TEST_F(SplitViewTest, TheDividerKeepsTheSidebarAtLeast120AndTheContent510WhereItCan)
{
    struct Case
    {
        qreal proposed;
        int width;
        int expected;
    };
    const Case cases[] = {
        {50, 900, 120}, {500, 900, 390}, {300, 600, 120}, {300, 1000, 300}, {-40, 400, 120}, {1e9, 900, 390},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MainSplitView::constrainSplitPosition(c.proposed, c.width), c.expected) << c.proposed << " in " << c.width;
}

TEST_F(SplitViewTest, StoredWidthsAreReadSafelyAndDragsStoreOnceWhenTheyEnd)
{
    struct Case
    {
        const char* stored;
        int expected;
    };
    const Case cases[] = {{"250", 250}, {"nan", 200}, {"inf", 200}, {"1e9", 390}, {"garbage", 200}};
    for (const Case& c : cases) {
        Settings::instance().setValue(QStringLiteral("kSplitHeight"), QLatin1String(c.stored));
        MainSplitView split(Settings::instance());
        split.setSubviews(new QWidget, new QWidget);
        split.resize(900, 400);
        split.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&split));
        EXPECT_EQ(split.sidebarWidth(), c.expected) << c.stored;
    }

    MainSplitView split(Settings::instance());
    split.setSubviews(new QWidget, new QWidget);
    split.resize(900, 400);
    split.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&split));
    int writes = 0;
    QObject::connect(&Settings::instance(), &Settings::changed, &split, [&](const QString& key) {
        writes += key == QLatin1String("kSplitHeight");
    });
    for (int step = 0; step < 100; ++step)
        split.dragDividerTo(200 + step * 3);
    EXPECT_EQ(split.sidebarWidth(), 390);
    EXPECT_EQ(writes, 0);
    split.dragEnded();
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(Settings::instance().string(QStringLiteral("kSplitHeight")), QStringLiteral("390"));
}

TEST_F(SplitViewTest, AWiderWindowWidensOnlyTheContent)
{
    Settings::instance().setValue(QStringLiteral("kSplitHeight"), QStringLiteral("200"));
    MainSplitView split(Settings::instance());
    auto* content = new QWidget;
    split.setSubviews(new QWidget, content);
    split.resize(900, 400);
    split.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&split));
    const int before = content->width();
    split.resize(1000, 400);
    waitUntil([&] { return content->width() == before + 100; });
    EXPECT_EQ(split.sidebarWidth(), 200);
    EXPECT_EQ(content->width(), before + 100);
}

}  // namespace
