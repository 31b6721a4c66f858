// The content switcher and the main window's frame: swaps keep a list's place, toolbars swap delegates.
#include "FrameFixtures.h"

#include "app/frame/KoMainWindow.h"
#include "app/frame/MainSplitView.h"
#include "platform/VolumeMonitor.h"
#include "support/WaitUntil.h"
#include "transfers/KoDownloadsController.h"

#include <QFile>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct ContentViewTest : ::testing::Test
{
    ContentViewTest()
    {
        contentView = new KoContentView;
        window.setCentralWidget(contentView);
        window.resize(600, 400);
    }
    TemporarySettings settings;
    QMainWindow window;
    KoContentView* contentView;
};

TEST_F(ContentViewTest, ASwapAndBackKeepsTheListsScrollAndSelection)
{
    // A transfers-like view: a list inside a container.
    auto* transfers = new QWidget;
    auto* list = new QTreeView(transfers);
    (new QVBoxLayout(transfers))->addWidget(list);
    QStandardItemModel model;
    for (int row = 0; row < 300; ++row)
        model.appendRow(new QStandardItem(QStringLiteral("row %1").arg(row)));
    list->setModel(&model);
    contentView->setDownloadsView(transfers);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    contentView->showDownloadsView();
    list->selectionModel()->select(model.index(150, 0), QItemSelectionModel::ClearAndSelect);
    list->scrollTo(model.index(150, 0), QAbstractItemView::PositionAtTop);
    const int scrolled = list->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    EXPECT_EQ(contentView->currentTableView(), list);

    QLabel pane(QStringLiteral("pane"));
    contentView->showMainPane(&pane);
    EXPECT_EQ(contentView->currentView(), &pane);
    EXPECT_EQ(contentView->currentTableView(), nullptr);
    contentView->showDownloadsView();
    waitUntil([&] { return list->verticalScrollBar()->value() == scrolled; });
    EXPECT_EQ(list->verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(list->selectionModel()->selectedIndexes(), QModelIndexList{model.index(150, 0)});
    contentView->showMainPane(nullptr);
    EXPECT_EQ(contentView->currentView(), transfers);
}

TEST_F(ContentViewTest, ToolbarsCarryTheDisplaySettingsAndResetTheItems)
{
    FakeToolbarDelegate start(QStringLiteral("Start"), {QStringLiteral("Search")});
    FakeToolbarDelegate results(QStringLiteral("Results"), {QStringLiteral("Download"), QStringLiteral("Info")});
    FakeToolbarDelegate transfers(QStringLiteral("Transfers"), {QStringLiteral("Pause")});
    Settings& stored = Settings::instance();
    stored.setValue(QStringLiteral("NSToolbar Configuration Results/TB Display Mode"), QStringLiteral("3"));
    contentView->setAnonymousView(new QLabel(contentView), &start);
    window.show();

    auto items = [this] {
        QStringList texts;
        for (QAction* action : contentView->currentToolbar()->actions())
            texts.append(action->text());
        return texts;
    };
    struct Step
    {
        const char* what;
        FakeToolbarDelegate* delegate;
        bool force;
        Qt::ToolButtonStyle styleBefore;  // set on the toolbar before the step
        QStringList items;
        Qt::ToolButtonStyle styleAfter;
        int startValidations;
    };
    const Step steps[] = {
        {"the first toolbar: icons only", &start, false, Qt::ToolButtonIconOnly, {QStringLiteral("Search")}, Qt::ToolButtonIconOnly, 2},
        {"the same delegate does nothing", &start, false, Qt::ToolButtonTextUnderIcon, {QStringLiteral("Search")}, Qt::ToolButtonTextUnderIcon, 2},
        {"unless forced", &start, true, Qt::ToolButtonTextUnderIcon, {QStringLiteral("Search")}, Qt::ToolButtonTextUnderIcon, 4},
        {"another delegate keeps the mode", &results, false, Qt::ToolButtonTextUnderIcon,
         {QStringLiteral("Download"), QStringLiteral("Info")}, Qt::ToolButtonTextUnderIcon, 4},
        {"text only travels too", &transfers, false, Qt::ToolButtonTextOnly, {QStringLiteral("Pause")}, Qt::ToolButtonTextOnly, 4},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (contentView->currentToolbar())
            contentView->currentToolbar()->setToolButtonStyle(step.styleBefore);
        contentView->setToolbarDelegate(step.delegate, step.force);
        ASSERT_TRUE(contentView->currentToolbar());
        EXPECT_EQ(items(), step.items);
        EXPECT_EQ(contentView->currentToolbar()->toolButtonStyle(), step.styleAfter);
        EXPECT_EQ(start.validations, step.startValidations);
    }
    EXPECT_EQ(stored.string(QStringLiteral("NSToolbar Configuration Start/TB Display Mode")), QStringLiteral("1"));
    EXPECT_EQ(stored.string(QStringLiteral("NSToolbar Configuration Results/TB Display Mode")), QStringLiteral("3"))
        << "stored as it was when it left";
    EXPECT_TRUE(stored.string(QStringLiteral("NSToolbar Configuration Results/TB Item Identifiers")).isEmpty());

    contentView->applicationWillTerminate();
    EXPECT_EQ(stored.string(QStringLiteral("NSToolbar Configuration Transfers/TB Display Mode")), QStringLiteral("3"));
    EXPECT_EQ(contentView->toolbarDelegate(), &start);
    EXPECT_EQ(contentView->currentToolbar()->toolButtonStyle(), Qt::ToolButtonTextOnly);
}

TEST(MainWindowFrame, TheWindowIsNeverNarrowerThanTheSidebarPlus510)
{
    TemporarySettings settings;
    QFile mounts(settings.folder.filePath(QStringLiteral("mountinfo")));
    ASSERT_TRUE(mounts.open(QIODevice::WriteOnly));
    mounts.write("20 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
    mounts.close();
    VolumeMonitor volumes(mounts.fileName());
    KoDownloadsController downloads(volumes);
    KoMainWindow window(downloads);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.splitView()->sidebarWidth(), 200);
    EXPECT_EQ(window.minimumWidth(), 710);
    window.splitView()->dragDividerTo(300);
    EXPECT_EQ(window.minimumWidth(), 810);
    EXPECT_EQ(window.contentView()->currentView(), window.contentView()->anonymousView());
}

}  // namespace
