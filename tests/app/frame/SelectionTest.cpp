// The selection controller: panes by item, Ctrl+1 to Ctrl+5, commands under a dialog, removed feeds.
#include "FrameFixtures.h"

#include "support/HttpTestServer.h"
#include "support/WaitUntil.h"

#include <QDialog>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

struct SelectionTest : SidebarFixture
{
    SelectionTest()
    {
        downloads = new QLabel(QStringLiteral("transfers"), &window);
        contentView->setDownloadsView(downloads);
        selection->setStatsEntry(&entry, [this](bool on) { entrySelected = on; });
        selection->setTransfersTabSelector([this](int index) { tab = index; });
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QLabel* downloads;
    QWidget entry;
    bool entrySelected = false;
    int tab = -1;
};

TEST_F(SelectionTest, AFolderShowsTheStartViewAndAPaneIsBuiltOnce)
{
    sourceView->addNewFolder();
    sourceView->endEditing(false);
    EXPECT_EQ(contentView->currentView(), contentView->anonymousView());
    SourceItem* search = query(QStringLiteral("once"));
    ASSERT_EQ(panes.made.size(), 1);
    EXPECT_EQ(contentView->currentView(), panes.made[0]->mainPaneView());
    EXPECT_EQ(panes.made[0]->searches, 0) << "not before the next pass";
    ASSERT_TRUE(waitUntil([&] { return panes.made[0]->searches >= 1; }));
    spinFor(20); // time for a second search, which must not come
    EXPECT_EQ(panes.made[0]->searches, 1);
    sourceView->clearSelection();
    sourceView->selectItem(search);
    spinFor(20);
    EXPECT_EQ(panes.made.size(), 1);
    EXPECT_EQ(panes.made[0]->searches, 1);

    // Removing the shown item switches away before its pane goes.
    sourceView->removeItem(search);
    EXPECT_EQ(contentView->currentView(), contentView->anonymousView());
    EXPECT_FALSE(selection->hasControllerForItem(search));
}

TEST_F(SelectionTest, CommandOneGoesToTheNextItemWithSomethingToShow)
{
    panes.countsByName = {{QStringLiteral("b"), 4}, {QStringLiteral("d"), 2}};
    for (const char* name : {"a", "b", "c", "d"})
        sourceView->addNewItem(SourceItem::makeQuery(QLatin1String(name)), false);
    const QList<SourceItem*> rows = sourceView->visibleItems();
    struct Case
    {
        const char* what;
        QList<int> selected;
        int expected;  // -1: none
    };
    const Case cases[] = {
        {"after the selected row", {1}, 3},
        {"wrapping past the last row", {3}, 1},
        {"two rows: the first stays", {0, 2}, 0},
        {"none: the first with results", {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sourceView->setFocus();
        sourceView->clearSelection();
        if (c.selected.size() > 1)
            sourceView->setSelectionMode(QAbstractItemView::ExtendedSelection);
        QList<PZOutlineObject*> chosen;
        for (int row : c.selected)
            chosen.append(rows[row]);
        sourceView->selectObjects(chosen);
        selection->command1();
        sourceView->setSelectionMode(QAbstractItemView::SingleSelection);
        EXPECT_EQ(sourceView->selectedItem(), c.expected < 0 ? nullptr : rows[c.expected]);
    }

    // No other row with results keeps the selection; with none anywhere, row 0.
    panes.made.clear();
    for (SourceItem* row : rows)
        static_cast<FakePane*>(selection->controllerForItem(row))->items = 0;
    sourceView->selectItem(rows[2]);
    selection->command1();
    EXPECT_EQ(sourceView->selectedItem(), rows[2]);
    sourceView->clearSelection();
    selection->command1();
    EXPECT_EQ(sourceView->selectedItem(), rows[0]);
    EXPECT_TRUE(sourceView->hasFocus());
}

TEST_F(SelectionTest, CommandThreeShowsActiveTransfersAndCommandsWaitForADialog)
{
    const QList<QAction*> actions = selection->actions();
    ASSERT_GE(actions.size(), 5);
    EXPECT_EQ(actions[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_3));
    actions[2]->trigger();
    EXPECT_EQ(contentView->currentView(), downloads);
    EXPECT_EQ(tab, 1) << "the \"Active\" tab";
    EXPECT_TRUE(entrySelected);

    // Focusing the list again shows its selected pane.
    query(QStringLiteral("back"));
    sourceView->clearFocus();
    actions[3]->trigger();
    EXPECT_EQ(contentView->currentView(), downloads);
    sourceView->setFocus();
    waitUntil([&] { return contentView->currentView() == panes.made.last()->mainPaneView(); });
    EXPECT_EQ(contentView->currentView(), panes.made.last()->mainPaneView());
    EXPECT_FALSE(entrySelected);

    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.show();
    selection->validateActions();
    for (QAction* action : actions)
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    tab = -1;
    actions[4]->trigger();
    EXPECT_EQ(tab, -1);
    sheet.hide();
    selection->validateActions();
    EXPECT_TRUE(actions[0]->isEnabled());
}

TEST_F(SelectionTest, RemovingAFolderDropsItsPanesAndStopsItsFeeds)
{
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    server.route("/feed", HttpTestResponse{200, {}, "<rss/>"});
    sourceView->addNewFolder();
    SourceItem* folder = sourceView->selectedItem();
    sourceView->endEditing(false);
    const QString address = server.url("/feed").toString();
    sourceView->addNewSubscriptionForAddress(address, QStringLiteral("Feed"));
    SourceItem* feed = sourceView->findExistingSubscription(address);
    ASSERT_TRUE(sourceView->acceptDrop(feed, folder, -1));
    sourceView->selectItem(folder);
    SourceItem* search = query(QStringLiteral("inside"));
    ASSERT_TRUE(selection->hasControllerForItem(feed)) << "a feed's pane is built when it is added";
    ASSERT_TRUE(server.waitForRequests(2, 5000));

    nextAnswer = 0;
    sourceView->removeItem(folder);
    EXPECT_FALSE(selection->hasControllerForItem(feed));
    EXPECT_FALSE(selection->hasControllerForItem(search));
    EXPECT_EQ(feeds.removed, QStringList{address});
    spinFor(100);
    const int requests = server.requestCount();
    spinFor(300);
    EXPECT_EQ(server.requestCount(), requests) << "the feed fetches nothing more";
}

}  // namespace
