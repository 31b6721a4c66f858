#include "FakeOutline.h"

#include "kit/NotificationCenter.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// Shown, listing alpha one (active), Alpha two (inactive), beta (complete), gamma and delta (active).
struct AlphaWindow : FakeOutlineWindow
{
    AlphaWindow()
    {
        window.show();
        add(QStringLiteral("alpha one"), 10, true);
        add(QStringLiteral("Alpha two"), 20, false);
        add(QStringLiteral("beta"), 30, true, true);
        add(QStringLiteral("gamma"), 40, true);
        add(QStringLiteral("delta"), 50, true);
    }
};

QStringList titles(const PZRoundTabView* tabs)
{
    QStringList list;
    for (int i = 0; i < tabs->buttonCount(); ++i)
        list.append(tabs->buttonAt(i)->text());
    return list;
}

}  // namespace

TEST(OutlineViewFilterTest, ButtonCountsCoverTheWholeListAndHonourTheFilterText)
{
    AlphaWindow w;
    struct Case
    {
        QString text;
        QList<int> counts;
        QStringList titles;
    };
    const Case cases[] = {
        {QString(), {5, 3, 1, 1}, {"All", "Active (3)", "Inactive (1)", "Complete (1)"}},
        {QStringLiteral("alpha"), {2, 1, 1, 0}, {"All", "Active (1)", "Inactive (1)", "Complete"}},
        {QStringLiteral("  ALPHA  "), {2, 1, 1, 0}, {"All", "Active (1)", "Inactive (1)", "Complete"}},
        {QStringLiteral("zzz"), {0, 0, 0, 0}, {"All", "Active", "Inactive", "Complete"}},
    };
    for (int selected : {0, 2}) {
        w.tabs->selectButtonAtIndex(selected);
        for (const Case& c : cases) {
            w.field->setText(c.text);
            QList<int> counts;
            for (int i = 0; i < 4; ++i)
                counts.append(w.tabs->countAtIndex(i));
            EXPECT_EQ(counts, c.counts) << c.text.toStdString() << " button " << selected;
            EXPECT_EQ(titles(w.tabs), c.titles) << c.text.toStdString();
        }
    }
    w.field->setText(QStringLiteral("alpha"));
    EXPECT_EQ(w.view->filteredCount(), 2);
    w.field->clear();
    EXPECT_EQ(w.view->filteredCount(), 5);
}

TEST(OutlineViewFilterTest, EmptyFieldAndAllButtonFilterWithTheYesPredicateItself)
{
    AlphaWindow w;
    EXPECT_EQ(w.view->currentFilterPredicate(), PZPredicate::yes());
    w.tabs->selectButtonAtIndex(1);
    EXPECT_EQ(w.view->currentFilterPredicate(), PZPredicate::instance<IsActivePredicate>());
    EXPECT_EQ(w.shownNames(), QStringList({"alpha one", "gamma", "delta"}));
    w.field->setText(QStringLiteral("a"));
    EXPECT_EQ(w.shownNames(), QStringList({"alpha one", "gamma", "delta"}));
    w.field->setText(QStringLiteral("ALPHA"));
    EXPECT_EQ(w.shownNames(), QStringList({"alpha one"}));
}

TEST(OutlineViewFilterTest, ClickingAButtonSelectsItAndRebuildsTheFilter)
{
    AlphaWindow w;
    QTest::mouseClick(w.tabs->buttonAt(3), Qt::LeftButton);
    EXPECT_EQ(w.tabs->selectedIndex(), 3);
    EXPECT_EQ(w.shownNames(), QStringList({"beta"}));
    QTest::mouseClick(w.tabs->buttonAt(3), Qt::LeftButton);  // the selected one stays selected
    EXPECT_EQ(w.tabs->selectedIndex(), 3);
    w.tabs->selectButtonAtIndex(PZRoundTabView::NotFound);
    EXPECT_EQ(w.tabs->selectedIndex(), 3);
}

TEST(OutlineViewFilterTest, SelectionWhoseObjectsWereAllFilteredAwayBecomesEmpty)
{
    AlphaWindow w;
    w.view->selectObjects({w.lines[1].get()});  // Alpha two, inactive
    ASSERT_EQ(w.view->selectedObjects().size(), 1);
    w.tabs->selectButtonAtIndex(1);
    EXPECT_TRUE(w.view->selectedObjects().isEmpty());
    EXPECT_FALSE(w.view->selectionModel()->hasSelection());

    // A selection partly filtered away keeps the objects still shown.
    w.tabs->selectButtonAtIndex(0);
    w.view->selectObjects({w.lines[0].get(), w.lines[1].get()});
    w.tabs->selectButtonAtIndex(1);
    EXPECT_EQ(w.view->selectedObjects(), QList<PZOutlineObject*>({w.lines[0].get()}));
}

TEST(OutlineViewFilterTest, WorkWaitsWhileHiddenAndRunsWhenShown)
{
    AlphaWindow w;
    w.window.hide();
    w.add(QStringLiteral("epsilon"), 5, true);
    EXPECT_EQ(w.tabs->countAtIndex(1), 3);  // recount deferred
    w.lines[1]->active = true;              // a state change: the next re-sort re-filters too
    w.view->setSortDescriptors({{QStringLiteral("size"), true, QStringLiteral("compare:")}});
    w.lines[4]->size = 1;  // delta moves to the top at the next re-sort
    w.view->rearrangeObjects();
    EXPECT_NE(w.shownNames().first(), QStringLiteral("delta"));
    w.window.show();
    EXPECT_EQ(w.tabs->countAtIndex(1), 5);
    EXPECT_EQ(w.shownNames().first(), QStringLiteral("delta"));
}

TEST(OutlineViewFilterTest, RemovingObjectsUpdatesCountsAndRows)
{
    AlphaWindow w;
    w.view->removeObjects({w.lines[0].get(), w.lines[3].get(), w.lines[4].get()});
    EXPECT_EQ(w.shownNames(), QStringList({"Alpha two", "beta"}));
    EXPECT_EQ(w.tabs->countAtIndex(1), 0);
    EXPECT_EQ(w.tabs->buttonAt(1)->text(), QStringLiteral("Active"));
    w.view->addObject(nullptr);
    w.view->addObjects({});
    w.view->addObject(w.lines[1].get());  // already listed
    EXPECT_EQ(w.view->objects().size(), 2);
}

// A pane may destroy its filter bar before its list (children go in the order they were added): the list
// then filters by nothing and never reaches the tabs or the field again.
TEST(OutlineViewFilterTest, AListOutlivesItsTabsAndField)
{
    AlphaWindow w;
    w.field->setText(QStringLiteral("alpha"));
    EXPECT_EQ(w.view->filteredCount(), 2);
    delete w.bar;
    w.view->rebuildFilterPredicate();
    EXPECT_EQ(w.view->filteredCount(), 5);
    w.add(QStringLiteral("epsilon"));
    w.view->setObjects({});
    EXPECT_EQ(w.view->filteredCount(), 0);
}

// Every key in the filter field re-filters as one step: with a thousand rows selected, one selection
// change per key, whatever the rows that come and go; the selection comes back in row order and the
// arrow keys go on from it.
TEST(OutlineViewFilterTest, EachKeyInTheFieldMakesOneSelectionChangeWhateverIsSelected)
{
    FakeOutlineWindow w;
    w.window.show();
    for (int n = 0; n < 1000; ++n)
        w.add(QStringLiteral("%1 %2").arg(n % 3 ? "odd" : "even").arg(n), n, n % 2);
    w.view->setFocus();
    QTest::keyClick(w.view, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(w.view->selectedObjects().size(), 1000);
    QSignalSpy changes(w.view, &PZOutlineView::selectionDidChange);
    const struct
    {
        Qt::Key key;
        int changes;
        int selected;
    } keys[] = {
        {Qt::Key_E, 1, 334},        // "e": the even rows stay
        {Qt::Key_V, 1, 334},        // "ev"
        {Qt::Key_Q, 1, 0},          // "evq": nothing is left, and it is said once
        {Qt::Key_Backspace, 0, 0},  // "ev": nothing was selected
    };
    for (const auto& k : keys) {
        changes.clear();
        QTest::keyClick(w.field, k.key);
        EXPECT_EQ(changes.size(), k.changes) << w.field->text().toStdString();
        EXPECT_EQ(w.view->selectedObjects().size(), k.selected) << w.field->text().toStdString();
    }
    // From a selection of every other shown row, sorted by size downwards: row order, and Down goes
    // on from the first object selected, also after a re-filter that keeps it.
    w.view->setSortDescriptors({{QStringLiteral("size"), false, QStringLiteral("compare:")}});
    w.field->clear();
    QList<PZOutlineObject*> chosen;
    for (int row = 0; row < 20; row += 2)
        chosen.prepend(w.view->objectAt(w.view->model()->index(row, 0)));
    w.view->selectObjects(chosen);
    EXPECT_EQ(w.view->selectedObjects(), QList<PZOutlineObject*>(chosen.crbegin(), chosen.crend()));
    changes.clear();
    w.field->setText(QStringLiteral("9"));  // the selected sizes are 999 down to 981
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(w.view->selectedObjects().size(), chosen.size());
    QTest::keyClick(w.view, Qt::Key_Down);
    EXPECT_EQ(w.view->selectedObjects(),
              QList<PZOutlineObject*>{w.view->objectAt(w.view->indexBelow(w.view->indexForObject(chosen.first())))});
}
