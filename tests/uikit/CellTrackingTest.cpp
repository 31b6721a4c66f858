#include "FakeOutline.h"

#include "support/DoubleClick.h"
#include "uikit/PZCellTracker.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct TrackingWindow : FakeOutlineWindow
{
    TrackingWindow()
    {
        window.show();
        first = add(QStringLiteral("first"), 30);
        second = add(QStringLiteral("second"), 20);
        third = add(QStringLiteral("third"), 10);
    }

    QRect controlOf(FakeLine* line) const
    {
        const QRect frame = view->visualRect(view->indexForObject(line, FakeOutlineView::SizeColumn));
        return view->buttonCell->controlRects(frame, line).first();
    }
    QWidget* viewport() const { return view->viewport(); }
    int active(FakeLine* line) const
    {
        return view->cellTracker()->activeTrackingRectFor(line, FakeOutlineView::SizeColumn);
    }

    FakeLine* first;
    FakeLine* second;
    FakeLine* third;
};

void move(QWidget* widget, const QPoint& point)
{
    QMouseEvent event(QEvent::MouseMove, point, widget->mapToGlobal(point), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

TEST(CellTrackingTest, ClickOnAControlFiresOnceWithTheRowObjectAndDoesNotSelect)
{
    TrackingWindow w;
    QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, w.controlOf(w.second).center());
    EXPECT_EQ(w.view->buttonCell->acted, QList<PZOutlineObject*>({w.second}));
    EXPECT_TRUE(w.view->selectedObjects().isEmpty());
    EXPECT_FALSE(w.view->cellTracker()->isTracking());

    // A click beside the control selects the row and fires nothing.
    QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, w.controlOf(w.third).center() - QPoint(40, 0));
    EXPECT_EQ(w.view->buttonCell->acted.size(), 1);
    EXPECT_EQ(w.view->selectedObjects(), QList<PZOutlineObject*>({w.third}));
}

TEST(CellTrackingTest, ADoubleClickOnAControlActsOnceAndSelectsNothing)
{
    TrackingWindow w;
    doubleClick(w.viewport(), w.controlOf(w.first).center());
    EXPECT_EQ(w.view->buttonCell->acted, QList<PZOutlineObject*>({w.first}));
    EXPECT_TRUE(w.view->selectedObjects().isEmpty());
    EXPECT_FALSE(w.view->cellTracker()->isTracking());

    // Beside the controls a double click still reaches the view.
    doubleClick(w.viewport(), w.controlOf(w.second).center() - QPoint(40, 0));
    EXPECT_EQ(w.view->buttonCell->acted.size(), 1);
    EXPECT_EQ(w.view->selectedObjects(), QList<PZOutlineObject*>({w.second}));
}

TEST(CellTrackingTest, ADoubleClickWhoseFirstClickAControlTookIsSwallowedWhole)
{
    TrackingWindow w;
    w.view->buttonCell->vanishes = true;
    int doubleClicks = 0;
    QObject::connect(w.view, &QAbstractItemView::doubleClicked, [&] { ++doubleClicks; });
    struct Case
    {
        const char* name;
        FakeLine* line;
        QList<PZOutlineObject*> acted;  // after the double click
    };
    const QList<Case> cases{
        {"the button goes with the first click", w.first, {w.first}},
        {"the next row's button too", w.second, {w.first, w.second}},
    };
    for (const Case& c : cases) {
        doubleClick(w.viewport(), w.controlOf(c.line).center());
        EXPECT_EQ(w.view->buttonCell->acted, c.acted) << c.name;
        EXPECT_TRUE(w.view->selectedObjects().isEmpty()) << c.name;
        EXPECT_EQ(doubleClicks, 0) << c.name;
    }
    // Where the button was, a later double click is the view's again.
    const QPoint gone = w.view->visualRect(w.view->indexForObject(w.first, FakeOutlineView::SizeColumn)).topRight()
                        + QPoint(-7, 8);
    doubleClick(w.viewport(), gone);
    EXPECT_EQ(w.view->selectedObjects(), QList<PZOutlineObject*>({w.first}));
    EXPECT_EQ(doubleClicks, 1);
}

TEST(CellTrackingTest, OnlyTheLeftButtonIsTracked)
{
    TrackingWindow w;
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(w.viewport(), button, {}, w.controlOf(w.first).center());
        EXPECT_FALSE(w.view->cellTracker()->isTracking());
        QTest::mouseRelease(w.viewport(), button, {}, w.controlOf(w.first).center());
    }
    EXPECT_TRUE(w.view->buttonCell->acted.isEmpty());
}

TEST(CellTrackingTest, DraggingOffAndBackShowsThePressOnlyOverTheControl)
{
    TrackingWindow w;
    const QPoint control = w.controlOf(w.first).center();
    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, control);
    EXPECT_EQ(w.active(w.first), 0);
    EXPECT_EQ(w.active(w.second), -1);
    move(w.viewport(), w.controlOf(w.second).center());  // the same control of another row
    EXPECT_EQ(w.active(w.first), -1);
    move(w.viewport(), control);
    EXPECT_EQ(w.active(w.first), 0);
    move(w.viewport(), control + QPoint(-60, 0));
    EXPECT_EQ(w.active(w.first), -1);
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, control + QPoint(-60, 0));
    EXPECT_TRUE(w.view->buttonCell->acted.isEmpty());
    EXPECT_EQ(w.active(w.first), -1);

    // Released over the same control of another row: nothing either.
    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, control);
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, w.controlOf(w.third).center());
    EXPECT_TRUE(w.view->buttonCell->acted.isEmpty());
}

TEST(CellTrackingTest, ActionFollowsThePressedObjectWhenTheListResorts)
{
    TrackingWindow w;
    const QPoint firstRowControl = w.controlOf(w.first).center();
    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, firstRowControl);
    // The list re-sorts under the held button: "third" now takes the top row.
    w.view->setSortDescriptors({{QStringLiteral("size"), true, QStringLiteral("compare:")}});
    ASSERT_EQ(w.shownNames().first(), QStringLiteral("third"));
    move(w.viewport(), firstRowControl);
    EXPECT_EQ(w.active(w.first), -1);
    EXPECT_EQ(w.active(w.third), -1);
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, firstRowControl);
    EXPECT_TRUE(w.view->buttonCell->acted.isEmpty());  // not "third", now under the pointer

    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, w.controlOf(w.second).center());
    w.view->setSortDescriptors({{QStringLiteral("size"), false, QStringLiteral("compare:")}});
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, w.controlOf(w.second).center());
    EXPECT_EQ(w.view->buttonCell->acted, QList<PZOutlineObject*>({w.second}));
}

TEST(CellTrackingTest, NothingFiresWhenThePressedObjectLeftTheList)
{
    TrackingWindow w;
    const QPoint control = w.controlOf(w.second).center();
    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, control);
    w.view->removeObjects({w.second});
    EXPECT_FALSE(w.view->cellTracker()->isTracking());
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, control);
    EXPECT_TRUE(w.view->buttonCell->acted.isEmpty());

    // Filtered away while held: the object is no longer shown, nothing fires.
    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, w.controlOf(w.first).center());
    w.field->setText(QStringLiteral("third"));
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, w.controlOf(w.third).center());
    EXPECT_TRUE(w.view->buttonCell->acted.isEmpty());
}

TEST(CellTrackingTest, CheckboxCyclesThroughItsStates)
{
    TrackingWindow w;
    FakeLine* folder = w.first->addChild(QStringLiteral("folder"));
    FakeLine* a = folder->addChild(QStringLiteral("a"));
    folder->addChild(QStringLiteral("b"));
    FakeLine* single = w.first->addChild(QStringLiteral("single"));
    w.view->reloadChildren(w.first);
    w.view->expand(w.view->indexForObject(w.first));
    a->setCheckboxState(1);
    ASSERT_EQ(folder->checkboxState(), 2);

    PZCheckboxCell* cell = static_cast<PZCheckboxCell*>(w.view->cellFor(FakeOutlineView::NameColumn, folder));
    auto click = [&](FakeLine* line) {
        const QRect frame = w.view->visualRect(w.view->indexForObject(line, FakeOutlineView::NameColumn));
        const QList<QRect> rects = cell->controlRects(frame, line);
        ASSERT_EQ(rects.size(), 1);
        QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, rects.first().center());
    };
    struct Step
    {
        FakeLine* line;
        int before, after;
    };
    const Step steps[] = {{folder, 2, 1}, {folder, 1, 0}, {folder, 0, 1}, {single, 0, 1}, {single, 1, 0}};
    for (const Step& step : steps) {
        EXPECT_EQ(step.line->checkboxState(), step.before) << step.line->name.toStdString();
        click(step.line);
        EXPECT_EQ(step.line->checkboxState(), step.after) << step.line->name.toStdString();
    }
    EXPECT_TRUE(w.view->selectedObjects().isEmpty());

    // A torrent row has no checkbox: its control rectangle is empty.
    const QRect torrentFrame = w.view->visualRect(w.view->indexForObject(w.first, FakeOutlineView::NameColumn));
    EXPECT_TRUE(cell->controlRects(torrentFrame, w.first).first().isEmpty());
    EXPECT_EQ(PZCheckboxCell::toggledState(5), 0);
}

TEST(CellTrackingTest, DisabledCheckboxOfTheLastWantedFileCannotBePressed)
{
    TrackingWindow w;
    FakeLine* last = w.first->addChild(QStringLiteral("last wanted"));
    FakeLine* skipped = w.first->addChild(QStringLiteral("skipped"));
    skipped->setCheckboxState(1);
    last->enabled = false;  // the model refuses to skip the last wanted file
    w.view->reloadChildren(w.first);
    w.view->expand(w.view->indexForObject(w.first));

    PZTrackingCell* cell = w.view->cellFor(FakeOutlineView::NameColumn, last);
    const QRect frame = w.view->visualRect(w.view->indexForObject(last, FakeOutlineView::NameColumn));
    EXPECT_FALSE(cell->shouldTrackMouseAt(frame.topLeft() + QPoint(8, 8), frame, last));
    const int changes = last->checkboxChanges;
    QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, frame.topLeft() + QPoint(8, 8));
    EXPECT_EQ(last->checkboxChanges, changes);
    EXPECT_EQ(last->checkboxState(), 0);

    // Disabled between the press and the release: still nothing.
    const QRect skippedFrame = w.view->visualRect(w.view->indexForObject(skipped, FakeOutlineView::NameColumn));
    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, skippedFrame.topLeft() + QPoint(8, 8));
    ASSERT_TRUE(w.view->cellTracker()->isTracking());
    skipped->enabled = false;
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, skippedFrame.topLeft() + QPoint(8, 8));
    EXPECT_EQ(skipped->checkboxState(), 1);
}
