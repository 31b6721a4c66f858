#include "FakeOutline.h"

#include "uikit/PZColor.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// "group" rows are group rows.
class GroupingView : public FakeOutlineView
{
public:
    bool isGroupItem(const PZOutlineObject& object) const override
    {
        return static_cast<const FakeLine&>(object).name.startsWith(QLatin1String("group"));
    }
};

QColor pixel(QWidget* viewport, const QPoint& point)
{
    return viewport->grab().toImage().pixelColor(point);
}

}  // namespace

TEST(OutlineDrawingTest, GridRunsFromTheLastRowToTheBottomAndSkipsGroupRows)
{
    std::vector<std::unique_ptr<FakeLine>> lines;
    GroupingView view;
    view.setUp(nullptr, nullptr);
    view.resize(400, 200);
    view.show();
    const int edge = view.header()->sectionSize(0) - 1;
    const QColor grid = PZOutlineView::gridColor();

    // No rows: the separators run from the top of the view.
    EXPECT_EQ(pixel(view.viewport(), QPoint(edge, 0)), grid);
    EXPECT_EQ(pixel(view.viewport(), QPoint(edge, view.viewport()->height() - 1)), grid);
    EXPECT_NE(pixel(view.viewport(), QPoint(edge - 3, 5)), grid);

    for (const char* name : {"plain", "group of sites", "another"}) {
        lines.push_back(std::make_unique<FakeLine>(QString::fromUtf8(name)));
        view.addObject(lines.back().get());
    }
    const QRect plain = view.visualRect(view.indexForObject(lines[0].get()));
    const QRect group = view.visualRect(view.indexForObject(lines[1].get()));
    EXPECT_EQ(pixel(view.viewport(), QPoint(edge, plain.center().y())), grid);
    EXPECT_NE(pixel(view.viewport(), QPoint(edge, group.center().y())), grid);
    EXPECT_EQ(pixel(view.viewport(), QPoint(edge, view.viewport()->height() - 1)), grid);
}

TEST(OutlineDrawingTest, InactiveSelectionUsesTheSecondaryColour)
{
    FakeOutlineWindow w;
    w.window.show();
    FakeLine* line = w.add(QStringLiteral("one"));
    w.view->selectObjects({line});
    w.view->clearFocus();
    ASSERT_FALSE(w.view->isFirstResponder());
    const QRect row = w.view->visualRect(w.view->indexForObject(line));
    EXPECT_EQ(pixel(w.view->viewport(), row.topLeft() + QPoint(2, 2)), PZColor::secondarySelectedControlColor());
}
