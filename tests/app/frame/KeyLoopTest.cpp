// Tab and Shift+Tab between the sidebar, the toolbar search field, the transfers row, a filter field and
// the list of the shown content, wired as the application wires them.
#include "FrameFixtures.h"

#include "search/views/QueryOutlineView.h"
#include "support/WaitUntil.h"
#include "transfers/StatsView.h"
#include "uikit/FilterSearchField.h"
#include "uikit/KeyViewLoop.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ombrelay::test {
namespace {

QWidget* page(std::initializer_list<QWidget*> widgets)
{
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    return view;
}

struct KeyLoop : SidebarFixture
{
    KeyLoop()
    {
        auto* toolbar = window.addToolBar(QStringLiteral("main"));
        toolbar->addWidget(searchField);
        static_cast<QSplitter*>(window.centralWidget())->insertWidget(1, stats);
        list->addTopLevelItems({new QTreeWidgetItem(QStringList{"one"}), new QTreeWidgetItem(QStringList{"two"})});
        // A pane whose shown tab is a page without a list: the hidden tab's list is not the current one.
        auto* tabs = new QStackedWidget;
        tabs->addWidget(new QTreeWidget);
        tabs->addWidget(new QLabel(QStringLiteral("web page")));
        tabs->setCurrentIndex(1);
        listPage = page({filter, list});
        resultsPage = page({results});
        webTabPage = page({tabs});
        for (QWidget* view : {listPage, resultsPage, webTabPage})
            contentView->showView(view);
        KeyViewLoop::install({[this] { return contentView->currentView(); }, [this]() -> QWidget* { return sourceView; },
                              [this]() -> QWidget* { return searchField; }, [this]() -> QWidget* { return stats; }});
        window.show();
        window.activateWindow();
    }
    ~KeyLoop() override { KeyViewLoop::install({}); }

    QLineEdit* searchField = new QLineEdit;
    StatsView* stats = new StatsView;
    FilterSearchField* filter = new FilterSearchField;
    QTreeWidget* list = new QTreeWidget;
    QueryOutlineView* results = new QueryOutlineView;
    QWidget* listPage;
    QWidget* resultsPage;
    QWidget* webTabPage;
};

TEST_F(KeyLoop, TabAndShiftTabFollowTheLoops)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const struct
    {
        const char* name;
        QWidget* shown;
        QWidget* from;
        bool backwards;
        QWidget* to;
        bool firstRowSelected;
    } cases[] = {
        {"sidebar to the list", listPage, sourceView, false, list, false},
        {"sidebar to the field without a list", webTabPage, sourceView, false, searchField, false},
        {"sidebar back to the field", listPage, sourceView, true, searchField, false},
        {"transfers row to the list", listPage, stats, false, list, true},
        {"transfers row back to the field", listPage, stats, true, searchField, false},
        {"filter field to the list", listPage, filter, false, list, true},
        {"filter field back to the list", listPage, filter, true, list, true},
        {"sidebar to the results", resultsPage, sourceView, false, results, false},
        {"results to the field", resultsPage, results, false, searchField, false},
        {"results back to the sidebar", resultsPage, results, true, sourceView, false},
    };
    for (const auto& c : cases) {
        list->clearSelection();
        contentView->showView(c.shown);
        c.from->setFocus();
        ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == c.from; }, 2000)) << c.name;
        QTest::keyClick(c.from, c.backwards ? Qt::Key_Backtab : Qt::Key_Tab, c.backwards ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_EQ(QApplication::focusWidget(), c.to) << c.name;
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        EXPECT_EQ(rows.size() == 1 && rows.first().row() == 0, c.firstRowSelected) << c.name;
    }
}

}  // namespace
}  // namespace ombrelay::test
