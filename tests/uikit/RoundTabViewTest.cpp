#include "kit/NotificationCenter.h"
#include "uikit/FilterSearchField.h"
#include "uikit/KeyViewLoop.h"
#include "uikit/PZRoundTabButton.h"
#include "uikit/PZRoundTabView.h"

#include <QListWidget>
#include <gtest/gtest.h>

using namespace ombrelay;

TEST(RoundTabViewTest, TitlesShowPositiveCountsUnlessHidden)
{
    struct Case
    {
        const char* name;
        int count;
        bool hide;
        const char* title;
    };
    const Case cases[] = {
        {"Active", 3, false, "Active (3)"}, {"Active", 0, false, "Active"}, {"Active", -2, false, "Active"},
        {"All", 12, true, "All"},           {"All", 0, true, "All"},
    };
    for (const Case& c : cases) {
        PZRoundTabButton button;
        button.setName(QString::fromUtf8(c.name));
        button.setCount(c.count);
        button.setHideCount(c.hide);
        EXPECT_EQ(button.stringValue(), QString::fromUtf8(c.title));
    }
}

TEST(RoundTabViewTest, CountsShowOnlyAfterRelayoutAndPushLaterButtonsRight)
{
    PZRoundTabView tabs;
    tabs.resize(400, 22);
    for (const char* title : {"All", "Active", "Inactive"})
        tabs.addRoundButtonWithTitle(QString::fromUtf8(title));
    EXPECT_EQ(tabs.buttonAt(0)->x(), 6);
    EXPECT_EQ(tabs.buttonAt(1)->x(), tabs.buttonAt(0)->x() + tabs.buttonAt(0)->width() + 2);
    EXPECT_EQ(tabs.buttonAt(0)->geometry().bottom(), 22 - 3 - 1);
    const int thirdBefore = tabs.buttonAt(2)->x();

    tabs.setCount(1234, 1);
    EXPECT_EQ(tabs.countAtIndex(1), 1234);
    EXPECT_EQ(tabs.buttonAt(1)->text(), QStringLiteral("Active"));
    tabs.relayoutViews();
    EXPECT_EQ(tabs.buttonAt(1)->text(), QStringLiteral("Active (1234)"));
    EXPECT_GT(tabs.buttonAt(2)->x(), thirdBefore);
    EXPECT_EQ(tabs.buttonAt(0)->x(), 6);
}

TEST(RoundTabViewTest, OutOfRangeIndexesAreIgnored)
{
    PZRoundTabView tabs;
    tabs.addRoundButtonWithTitle(QStringLiteral("All"));
    tabs.addRoundButtonWithTitle(QStringLiteral("Active"));
    for (int index : {-1, 2, 99}) {
        tabs.setCount(7, index);
        EXPECT_EQ(tabs.countAtIndex(index), 0);
        EXPECT_EQ(tabs.buttonAt(index), nullptr);
    }
    EXPECT_EQ(tabs.countAtIndex(0) + tabs.countAtIndex(1), 0);
}

TEST(RoundTabViewTest, SelectionIsOneButtonAndAlwaysPosts)
{
    PZRoundTabView tabs;
    for (const char* title : {"All", "Active", "Inactive"})
        tabs.addRoundButtonWithTitle(QString::fromUtf8(title));
    QObject listener;
    int posts = 0;
    listenForNotification(&listener, QStringLiteral("PZRoundTabViewSelectionDidChange"),
                          [&](const Notification& note) { posts += note.object == &tabs ? 1 : 0; }, &tabs);
    EXPECT_EQ(tabs.selectedIndex(), -1);
    struct Step
    {
        qint64 index;
        int selected;
    };
    const Step steps[] = {{1, 1}, {2, 2}, {PZRoundTabView::NotFound, 2}, {3, -1}, {0, 0}};
    int expectedPosts = 0;
    for (const Step& step : steps) {
        tabs.selectButtonAtIndex(step.index);
        EXPECT_EQ(tabs.selectedIndex(), step.selected) << step.index;
        EXPECT_EQ(posts, ++expectedPosts);
    }
    int selectedButtons = 0;
    for (int i = 0; i < tabs.buttonCount(); ++i)
        selectedButtons += tabs.buttonAt(i)->isSelected() ? 1 : 0;
    EXPECT_EQ(selectedButtons, 1);
}

TEST(RoundTabViewTest, TabFromTheSearchFieldGoesToTheCurrentListSelectingItsFirstRow)
{
    QWidget window;
    auto* field = new FilterSearchField(&window);
    auto* list = new QListWidget(&window);
    auto* sourceList = new QListWidget(&window);
    list->addItems({QStringLiteral("one"), QStringLiteral("two")});
    window.show();

    QWidget* current = list;
    KeyViewLoop::install({[&] { return current; }, [&]() -> QWidget* { return sourceList; }, {}, {}});
    EXPECT_EQ(field->nextValidKeyView(), list);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(list->selectionModel()->selectedRows().first().row(), 0);
    list->setCurrentRow(1);
    EXPECT_EQ(field->previousValidKeyView(), list);
    EXPECT_EQ(list->selectionModel()->selectedRows().first().row(), 1);  // a selection is kept

    current = nullptr;
    EXPECT_EQ(field->nextValidKeyView(), sourceList);
    KeyViewLoop::install({});
    EXPECT_EQ(field->nextValidKeyView(), nullptr);
}
