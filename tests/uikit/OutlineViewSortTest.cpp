#include "FakeOutline.h"

#include "kit/Settings.h"
#include "uikit/PZSortDescriptorTransformer.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

void clickHeader(PZOutlineView* view, int column)
{
    QHeaderView* header = view->header();
    const QPoint point(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
}

struct SortedWindow : FakeOutlineWindow
{
    SortedWindow()
    {
        window.show();
        add(QStringLiteral("charlie"), 30);
        add(QStringLiteral("Alpha"), 10);
        add(QStringLiteral("bravo"), 20);
    }
};

const PZSortDescriptor byName{QStringLiteral("name"), true, QStringLiteral("caseInsensitiveCompare:")};
const PZSortDescriptor bySize{QStringLiteral("size"), false, QStringLiteral("compare:")};

}  // namespace

TEST(OutlineViewSortTest, ThreeClicksCycleAscendingDescendingListOrder)
{
    SortedWindow w;
    struct Step
    {
        int column;
        QStringList names;
        int indicator;
        Qt::SortOrder order;
    };
    const Step steps[] = {
        {FakeOutlineView::NameColumn, {"Alpha", "bravo", "charlie"}, 0, Qt::AscendingOrder},
        {FakeOutlineView::NameColumn, {"charlie", "bravo", "Alpha"}, 0, Qt::DescendingOrder},
        {FakeOutlineView::NameColumn, {"charlie", "Alpha", "bravo"}, -1, Qt::AscendingOrder},
        // The size column's prototype is descending: it starts there.
        {FakeOutlineView::SizeColumn, {"charlie", "bravo", "Alpha"}, 1, Qt::DescendingOrder},
        {FakeOutlineView::SizeColumn, {"Alpha", "bravo", "charlie"}, 1, Qt::AscendingOrder},
        {FakeOutlineView::SizeColumn, {"charlie", "Alpha", "bravo"}, -1, Qt::AscendingOrder},
        // Another column after a sorted one starts with its own prototype.
        {FakeOutlineView::NameColumn, {"Alpha", "bravo", "charlie"}, 0, Qt::AscendingOrder},
        {FakeOutlineView::SizeColumn, {"charlie", "bravo", "Alpha"}, 1, Qt::DescendingOrder},
    };
    int n = 0;
    for (const Step& step : steps) {
        clickHeader(w.view, step.column);
        EXPECT_EQ(w.shownNames(), step.names) << "click " << n;
        EXPECT_EQ(w.view->header()->sortIndicatorSection(), step.indicator) << "click " << n;
        if (step.indicator >= 0)
            EXPECT_EQ(w.view->header()->sortIndicatorOrder(), step.order) << "click " << n;
        ++n;
    }
    EXPECT_EQ(w.view->sortDescriptors().size(), 2);  // size first, then name
}

TEST(OutlineViewSortTest, SortsFromCodeAreAppliedAsGiven)
{
    SortedWindow w;
    w.view->setSortDescriptors({byName});
    w.view->setSortDescriptors({byName.reversed()});
    w.view->setSortDescriptors({byName});  // no third-click rule outside a click
    EXPECT_EQ(w.shownNames(), QStringList({"Alpha", "bravo", "charlie"}));

    // Keys no column declares sort as given, also from a click's rule.
    const PZSortDescriptor undeclared{QStringLiteral("size"), true, QStringLiteral("localizedCompare:")};
    w.view->setSortDescriptors({undeclared.reversed()});
    EXPECT_EQ(w.view->header()->sortIndicatorSection(), -1);
    EXPECT_EQ(w.shownNames(), QStringList({"charlie", "bravo", "Alpha"}));
    w.view->setSortDescriptors({undeclared});
    EXPECT_EQ(w.shownNames(), QStringList({"Alpha", "bravo", "charlie"}));
}

TEST(OutlineViewSortTest, SelectionAndExpansionFollowTheirObjectsAcrossResorts)
{
    SortedWindow w;
    FakeLine* charlie = w.lines[0].get();
    charlie->addChild(QStringLiteral("c-file-1"));
    charlie->addChild(QStringLiteral("c-file-2"));
    w.view->reloadChildren(charlie);
    FakeLine* alpha = w.lines[1].get();
    FakeLine* bravo = w.lines[2].get();
    w.view->expand(w.view->indexForObject(charlie));
    w.view->selectObjects({alpha, charlie->children[1].get()});

    for (int round = 0; round < 4; ++round) {
        clickHeader(w.view, round % 2 ? FakeOutlineView::SizeColumn : FakeOutlineView::NameColumn);
        alpha->size = 100 - alpha->size;  // values change between re-sorts, as rates do
        w.view->rearrangeObjects();
        EXPECT_TRUE(w.view->isExpanded(w.view->indexForObject(charlie))) << round;
        EXPECT_FALSE(w.view->isExpanded(w.view->indexForObject(bravo))) << round;
        const QList<PZOutlineObject*> selected = w.view->selectedObjects();
        EXPECT_EQ(selected.size(), 2) << round;
        EXPECT_TRUE(selected.contains(alpha)) << round;
        EXPECT_TRUE(selected.contains(charlie->children[1].get())) << round;
    }

    w.view->saveSelectedObjects();
    w.view->clearSelection();
    w.view->restoreSelectedObjects();
    EXPECT_EQ(w.view->selectedObjects().size(), 2);
    w.view->clearSelection();
    w.view->saveSelectedObjects();  // nothing selected: restoring changes nothing
    w.view->selectObjects({bravo});
    w.view->restoreSelectedObjects();
    EXPECT_EQ(w.view->selectedObjects(), QList<PZOutlineObject*>({bravo}));
}

TEST(OutlineViewSortTest, StoredOrdersApplyOnlyDeclaredKeys)
{
    struct Case
    {
        QVariantList stored;
        PZSortDescriptors expected;
    };
    const Case cases[] = {
        {{QStringList{"name", "1", "caseInsensitiveCompare:"}}, {byName}},
        {{QStringList{"size", "0", "compare:"}, QStringList{"name", "0", "caseInsensitiveCompare:"}},
         {bySize, byName.reversed()}},
        {{QStringList{"name", "1"}}, {}},                                           // too short
        {{QStringList{"name", "1", "compare:"}}, {}},                               // comparison not declared
        {{QStringList{"nosuchkey", "1", "compare:"}, QStringList{"size", "1", "compare:"}}, {bySize.reversed()}},
        {{QString("garbage"), 42}, {}},
    };
    for (const Case& c : cases) {
        SortedWindow w;
        w.view->restoreSortDescriptors(c.stored);
        EXPECT_EQ(w.view->sortDescriptors(), c.expected);
    }
}

TEST(OutlineViewSortTest, TransformerRoundTripsThroughTheSettingsFile)
{
    const PZSortDescriptors descriptors = PZSortDescriptorTransformer::transformedValue(
        QVariantList{QStringList{"date", "0", "compare:"}, QStringList{"name", "7", "caseInsensitiveCompare:", "x"},
                     QStringList{"short", "1"}});
    ASSERT_EQ(descriptors.size(), 2);
    EXPECT_EQ(descriptors[0], (PZSortDescriptor{"date", false, "compare:"}));
    EXPECT_EQ(descriptors[1], (PZSortDescriptor{"name", true, "caseInsensitiveCompare:"}));

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("settings.conf"));
    {
        Settings settings(path);
        settings.setValue(QStringLiteral("QueryPaneSortDescriptors"),
                          PZSortDescriptorTransformer::reverseTransformedValue(descriptors));
        settings.sync();
    }
    Settings reread(path);
    EXPECT_EQ(PZSortDescriptorTransformer::transformedValue(reread.value(QStringLiteral("QueryPaneSortDescriptors"))),
              descriptors);
}

TEST(OutlineViewSortTest, BoundOrderIsRestoredAndStored)
{
    QTemporaryDir folder;
    Settings::useFile(folder.filePath(QStringLiteral("bound.conf")));
    Settings::instance().setValue(QStringLiteral("RSSPaneSortDescriptors"),
                                  QVariantList{QStringList{"size", "0", "compare:"}});
    SortedWindow w;
    w.view->bindSortDescriptorsToSetting(QStringLiteral("RSSPaneSortDescriptors"));
    EXPECT_EQ(w.shownNames(), QStringList({"charlie", "bravo", "Alpha"}));
    clickHeader(w.view, FakeOutlineView::NameColumn);
    EXPECT_EQ(PZSortDescriptorTransformer::transformedValue(Settings::instance().value(QStringLiteral("RSSPaneSortDescriptors"))),
              (PZSortDescriptors{byName, bySize}));
}

TEST(OutlineViewSortTest, CaseInsensitiveComparisonIgnoresCase)
{
    FakeLine upper(QStringLiteral("B")), lower(QStringLiteral("a"));
    EXPECT_GT(byName.compare(upper, lower), 0);
    const PZSortDescriptor caseSensitive{QStringLiteral("name"), true, QStringLiteral("compare:")};
    EXPECT_LT(caseSensitive.compare(upper, lower), 0);
    EXPECT_LT(byName.reversed().compare(upper, lower), 0);
}

TEST(OutlineViewSortTest, ClickRuleEndsSortingOnlyForADeclaredColumn)
{
    class ClickRuleView : public FakeOutlineView
    {
    public:
        using FakeOutlineView::setSortDescriptorsFromClick;
    };
    const PZSortDescriptor undeclared{QStringLiteral("size"), true, QStringLiteral("localizedCompare:")};
    struct Case
    {
        PZSortDescriptors current, clicked, expected;
    };
    const Case cases[] = {
        {{byName.reversed()}, {byName}, {}},                              // third click on the name column
        {{byName}, {byName.reversed()}, {byName.reversed()}},             // second click
        {{undeclared.reversed()}, {undeclared}, {undeclared}},            // no column: applied as given
        {{}, {byName}, {byName}},                                         // first click
        {{bySize}, {byName, bySize}, {byName, bySize}},                   // another column
    };
    for (const Case& c : cases) {
        ClickRuleView view;
        view.setUp(nullptr, nullptr);
        view.setSortDescriptors(c.current);
        view.setSortDescriptorsFromClick(c.clicked);
        EXPECT_EQ(view.sortDescriptors(), c.expected);
    }
}
