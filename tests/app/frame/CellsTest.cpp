// The source-list cells: icons, count bubbles, the close button and the search icon's click.
#include "FrameFixtures.h"

#include "app/frame/CloseButtonCell.h"
#include "app/frame/SideCell.h"
#include "support/WaitUntil.h"

#include <QFontMetricsF>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

TEST(SideCellIcons, FolderNamesChooseTheirIconsByTheFirstMatchingRule)
{
    struct Case
    {
        const char* name;
        const char* image;
        const char* alternate;
    };
    const Case cases[] = {
        {"old tv shows", "TV16", "TV16Alternate"},
        {"TV", "TV16", "TV16Alternate"},
        {"Movies and TV", "Movies16", "Movies16Alternate"},
        {"Board Games", "Games16", ""},
        {"My Music", "Music16", "Music16Alternate"},
        {"Software", "Software16", ""},
        {"rss things", "Torrentcast16", "Torrentcast16Alternate"},
        {"Photos", "", ""},
    };
    for (const Case& c : cases) {
        const SideCell::Icons icons = SideCell::iconsForItem(*SourceItem::makeGroup(QLatin1String(c.name), {}), false);
        EXPECT_EQ(icons.image, QLatin1String(c.image)) << c.name;
        EXPECT_EQ(icons.alternate, QLatin1String(c.alternate)) << c.name;
    }
    EXPECT_EQ(SideCell::iconsForItem(*SourceItem::makeQuery(QStringLiteral("tv")), true).image, QStringLiteral("FindWhite16"));
    EXPECT_EQ(SideCell::iconsForItem(*SourceItem::makeQuery(QStringLiteral("tv")), false).image, QStringLiteral("FindBlack16"));
    EXPECT_EQ(SideCell::iconsForItem(*SourceItem::makeRSS(QStringLiteral("music"), {}), false).image, QStringLiteral("RSSBlack16"));
}

TEST(SideCellBubbles, TextAndWidthFollowTheCounts)
{
    const QRect frame(0, 10, 180, 22);
    struct Case
    {
        int newCount;
        int count;
        const char* text;
    };
    const Case cases[] = {{0, 7, "7"}, {0, 1234, "1234"}, {3, 40, "3 new"}, {0, 0, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(SideCell::bubbleText(c.newCount, c.count), QLatin1String(c.text));
    EXPECT_EQ(SideCell::bubbleRect(frame, 7.4, false), QRect(160, 12, 20, 16)) << "narrow text: 20 wide";
    EXPECT_EQ(SideCell::bubbleRect(frame, 25.2, false).width(), 26 + 12);
    EXPECT_EQ(SideCell::bubbleRect(frame, 30, true).width(), 30 + 12 + 10) << "the new-entries image";
    EXPECT_TRUE(SideCell::hasBubble(*SourceItem::makeQuery(QStringLiteral("q")), QRect(0, 0, 30, 22)));
    EXPECT_FALSE(SideCell::hasBubble(*SourceItem::makeRSS(QStringLiteral("f"), {}), QRect(0, 0, 70, 22)));
    EXPECT_TRUE(SideCell::hasBubble(*SourceItem::makeRSS(QStringLiteral("f"), {}), QRect(0, 0, 76, 22)));
    EXPECT_FALSE(SideCell::hasBubble(*SourceItem::makeGroup(QStringLiteral("g"), {}), QRect(0, 0, 200, 22)));
}

struct CellClickTest : SidebarFixture
{
};

TEST_F(CellClickTest, TheCloseRectangleAndTheSearchIconDoWhatTheySay)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SourceItem* search = query(QStringLiteral("one search"));
    sourceView->addNewQueryForString(QStringLiteral("other"));
    SourceItem* other = sourceView->findExistingQuery(QStringLiteral("other"));
    ASSERT_TRUE(waitUntil([&] { return panes.made.size() == 2 && panes.made.first()->searches >= 1; }));
    spinFor(50); // time for a second search, which must not come
    ASSERT_EQ(panes.made.size(), 2) << "selecting each built its pane";
    FakePane* pane = panes.made.first();
    EXPECT_EQ(pane->searches, 1) << "a new pane searches once, on the next pass";

    CloseButtonCell close(*sourceView);
    EXPECT_EQ(close.controlRects(QRect(100, 20, 18, 22), search), (QList<QRect>{QRect(103, 23, 14, 14)}));

    // A click on the icon of a search with a pane searches again, once.
    const QRect frame = sourceView->visualRect(sourceView->indexForObject(search));
    QTest::mouseClick(sourceView->viewport(), Qt::LeftButton, {}, frame.topLeft() + QPoint(10, 10));
    ASSERT_TRUE(waitUntil([&] { return pane->searches >= 2; }));
    spinFor(50); // time for a third search, which must not come
    EXPECT_EQ(pane->searches, 2);

    // The close button removes the row's item.
    const QRect closeFrame = sourceView->visualRect(sourceView->indexForObject(other, 1));
    QTest::mouseClick(sourceView->viewport(), Qt::LeftButton, {}, closeFrame.topLeft() + QPoint(closeFrame.width() - 8, 10));
    EXPECT_FALSE(sourceView->containsItem(other));
}

TEST_F(CellClickTest, ClickingTheIconOfASearchWithoutAPaneRunsOneSearch)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SourceItem* search = sourceView->addNewItem(SourceItem::makeQuery(QStringLiteral("later")), false);
    sourceView->clearSelection();
    selection->removeItem(search);  // as after a launch: no pane yet
    ASSERT_FALSE(selection->hasControllerForItem(search));
    sourceView->viewport()->repaint();
    EXPECT_FALSE(selection->hasControllerForItem(search)) << "painting builds no pane";
    selection->performSearchForItem(search);
    ASSERT_TRUE(waitUntil([&] {
        return selection->hasControllerForItem(search) &&
               static_cast<FakePane*>(selection->controllerForItem(search))->searches >= 1;
    }));
    spinFor(50); // time for a second search, which must not come
    ASSERT_TRUE(selection->hasControllerForItem(search));
    EXPECT_EQ(static_cast<FakePane*>(selection->controllerForItem(search))->searches, 1);
}

}  // namespace
