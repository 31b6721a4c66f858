// Searches in the launched application's window, in-process: typed into the toolbar field, built by the
// window's pane factory, listed flat or grouped, downloaded with keys. Every site is answered through
// the test's server standing as the HTTP proxy.
#include "app/frame/KoContentView.h"
#include "app/frame/KoMainWindow.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourceView.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/prefs/SearchSitesTableView.h"
#include "app/shell/launch/LaunchFixture.h"
#include "app/tabs/MainPaneController.h"
#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/toolbar/KoAnonymousToolbarDelegate.h"
#include "app/toolbar/QueryToolbarDelegate.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/PropertyList.h"
#include "search/QueryController.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/ResultItem.h"
#include "search/views/ResultsPane.h"
#include "search/views/ScraperItem.h"
#include "support/HttpTestServer.h"
#include "transfers/StatsView.h"
#include "uikit/PZOutlineProxyModel.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QByteArray kTorrentPath = "/files/found.torrent";

class SearchInWindow : public ApplicationLaunch
{
protected:
    void SetUp() override
    {
        ApplicationLaunch::SetUp();
        ASSERT_TRUE(proxy.listen());
        proxy.setFallback([this](const HttpTestRequest& request) -> HttpTestResponse {
            if (request.path == kTorrentPath)
                return {200, {{"Content-Type", "application/x-bittorrent"}}, torrent};
            return {200, {{"Content-Type", "text/html"}},
                    "<html><body><a href=\"http://files.invalid" + kTorrentPath + "\">found</a></body></html>"};
        });
        const QByteArray address = "http://127.0.0.1:" + QByteArray::number(proxy.port());
        qputenv("http_proxy", address);
        qputenv("https_proxy", address);
        // The built-in sites only: no user site opens a web tab.
        Settings::instance().setValue(QStringLiteral("kSearchSites"), PropertyList::toBinary(QVariantList()));
    }
    void TearDown() override
    {
        controller.reset();
        qunsetenv("http_proxy");
        qunsetenv("https_proxy");
        ApplicationLaunch::TearDown();
    }

    KoMainWindow& window() const { return *controller->mainWindow(); }
    QWidget* searchField() const { return KoToolbarDelegate::searchView(); }
    // Types into the focused widget and presses Return, as a user would.
    static void typeSearch(const QString& terms)
    {
        QTest::keyClicks(QApplication::focusWidget(), terms);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    MainPaneController* selectedPane() const
    {
        SourceItem* item = window().sourceView()->selectedItem();
        return item ? dynamic_cast<MainPaneController*>(window().selectionController()->controllerForItem(item)) : nullptr;
    }
    QueryOutlineView* selectedList() const
    {
        MainPaneController* pane = selectedPane();
        return pane && pane->resultsPane() ? pane->resultsPane()->outlineView() : nullptr;
    }
    bool searchIsDone() const
    {
        MainPaneController* pane = selectedPane();
        return pane && pane->queryController() && !pane->queryController()->isActive() && selectedList()->lines().size() == 1;
    }

    QByteArray torrent = metainfo(singleFileInfo(QStringLiteral("found.bin"), 300000));
    HttpTestServer proxy;
    std::unique_ptr<KoApplicationController> controller;
};

class SearchModes : public SearchInWindow, public ::testing::WithParamInterface<bool>
{
};

}  // namespace

TEST_P(SearchModes, ATypedSearchIsListedAndShiftTabReturnDownloadsTheFirstResult)
{
    const bool grouped = GetParam();
    Settings::instance().setValue(QStringLiteral("kClusterResultsA"), grouped ? QStringLiteral("1") : QStringLiteral("0"));
    controller = launch({}, 0);
    KoContentView& content = *window().contentView();
    EXPECT_EQ(content.toolbarDelegate(), &KoAnonymousToolbarDelegate::instance());
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == searchField(); })) << "the field has the focus at launch";

    typeSearch(QStringLiteral("ubuntu"));
    ASSERT_TRUE(waitUntil([&] { return searchIsDone(); }, 15000));
    MainPaneController& pane = *selectedPane();
    QueryOutlineView& list = *selectedList();
    EXPECT_EQ(content.currentView(), pane.mainPaneView());
    EXPECT_EQ(content.toolbarDelegate(), window().queryToolbarDelegate()) << "results show their own toolbar";
    EXPECT_EQ(QApplication::focusWidget(), searchField()) << "the toolbar swap keeps the field's focus";
    ASSERT_EQ(pane.tabView()->tabs().size(), 1);
    EXPECT_EQ(pane.tabView()->tabs()[0]->controller()->title(), QStringLiteral("Search Results"));
    EXPECT_EQ(window().selectionController()->numberOfItemsForItem(window().sourceView()->selectedItem()), 1);
    // The strip stands at the top under the toolbar's line; the selected tab's content fills the rest.
    EXPECT_EQ(pane.tabView()->geometry().top(), 1);
    EXPECT_EQ(pane.contentView()->geometry().top(), pane.tabView()->geometry().bottom() + 1);
    EXPECT_EQ(pane.contentView()->geometry().bottom(), pane.mainPaneView()->height() - 1);
    EXPECT_TRUE(list.isVisible());

    const QModelIndex top = list.arrangedModel()->index(0, 0);
    ASSERT_EQ(list.arrangedModel()->rowCount(), 1) << "one site delivered the torrent first";
    EXPECT_EQ(list.isGrouped(), grouped);
    if (grouped) {
        auto* group = dynamic_cast<ScraperItem*>(list.objectAt(top));
        ASSERT_TRUE(group);
        EXPECT_TRUE(list.isFirstColumnSpanned(0, {}));
        EXPECT_FALSE(list.arrangedModel()->flags(top) & Qt::ItemIsSelectable);
        EXPECT_EQ(list.visualRect(top).height(), 32) << "the group row as laid out";
        EXPECT_TRUE(list.isExpanded(top));
        EXPECT_EQ(list.arrangedModel()->rowCount(top), 1);
    } else {
        EXPECT_TRUE(dynamic_cast<ResultItem*>(list.objectAt(top)));
    }
    window().queryToolbarDelegate()->validate();
    EXPECT_FALSE(window().queryToolbarDelegate()->downloadButton()->isEnabled()) << "nothing selected yet";

    QTest::keyClick(searchField(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), &list);
    ASSERT_EQ(list.selectedObjects().size(), 1);
    auto* selected = dynamic_cast<ResultItem*>(list.selectedObjects()[0]);
    ASSERT_TRUE(selected && selected->torrentLine());
    EXPECT_EQ(selected->torrentLine()->path(), QStringLiteral("found.bin"));
    window().queryToolbarDelegate()->validate();
    EXPECT_TRUE(window().queryToolbarDelegate()->downloadButton()->isEnabled());

    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(alerts.size(), 1) << "the legal notice";
    pendingAnswer(0, false);
    EXPECT_TRUE(waitUntil([&] { return sessionFolderCount() == 1; }, 5000));

    // The other mode, live: the same result, regrouped.
    Settings::instance().setValue(QStringLiteral("kClusterResultsA"), grouped ? QStringLiteral("0") : QStringLiteral("1"));
    EXPECT_EQ(list.isGrouped(), !grouped);
    EXPECT_EQ(list.lines().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(FlatAndGrouped, SearchModes, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Grouped" : "Flat"; });

TEST_F(SearchInWindow, TabFromTheFieldGoesToTheSidebarOrTheTransfersRowWhichKeepsItsFilter)
{
    controller = launch({}, 0);
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == searchField(); }));
    typeSearch(QStringLiteral("ubuntu"));
    ASSERT_TRUE(waitUntil([&] { return searchIsDone(); }, 15000));
    QTest::keyClick(searchField(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window().sourceView()) << "with a pane shown";

    KoDownloadsController& transfers = controller->downloads();
    window().selectionController()->showDownloadsPane(2);
    ASSERT_EQ(transfers.tabView()->selectedIndex(), 2);
    searchField()->setFocus();
    QTest::keyClick(searchField(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), transfers.statsView()) << "with the transfers shown";

    // Back to the search, then a click on the transfers row: the transfers show with their filter kept.
    window().sourceView()->selectItem(window().sourceView()->visibleItems().first());
    window().selectionController()->sourceViewSelectionDidChange();
    ASSERT_NE(window().contentView()->currentView(), transfers.mainView());
    QTest::mouseClick(transfers.statsView(), Qt::LeftButton);
    EXPECT_EQ(window().contentView()->currentView(), transfers.mainView());
    EXPECT_EQ(transfers.tabView()->selectedIndex(), 2);
}

TEST_F(SearchInWindow, NoEnabledSiteAsksToManageTheSearchSites)
{
    Settings::instance().setValue(QStringLiteral("kEnabledSystemModules"), QStringList());
    controller = launch({}, 0);
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == searchField(); }));
    typeSearch(QStringLiteral("nothing"));
    ASSERT_TRUE(waitUntil([&] { return !alerts.isEmpty(); }, 5000));
    EXPECT_EQ(alerts[0].message, QStringLiteral("No search sites selected."));
    EXPECT_EQ(alerts[0].informativeText, QStringLiteral("You have not selected any search sites. Ombrelay will be unable "
                                                        "to search until you select at least one."));
    EXPECT_EQ(alerts[0].buttons, (QStringList{QStringLiteral("Manage Search Sites..."), QStringLiteral("Cancel")}));
    EXPECT_TRUE(alerts[0].critical);
    ASSERT_FALSE(controller->preferences().window()->isVisible());
    pendingAnswer(0, false);
    // The preferences come up on the pane that holds the search sites.
    PZPreferencesController& preferences = controller->preferences();
    ASSERT_TRUE(
        waitUntil([&] { return preferences.window()->isVisible() && !preferences.isAnimating(); }, 5000));
    EXPECT_EQ(preferences.currentIndex(), 0);
    auto* sites = preferences.window()->findChild<SearchSitesTableView*>();
    ASSERT_TRUE(sites);
    EXPECT_TRUE(sites->isVisible());
}
