#include "FeedPaneFixture.h"

#include "kit/NotificationCenter.h"
#include "search/views/CurrentRSSOutlineView.h"
#include "search/views/RSSController.h"
#include "search/views/RSSOutlineView.h"
#include "search/views/ResultItem.h"
#include "engine/torrent/OBLine.h"
#include "support/WaitUntil.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>

using namespace ombrelay;
using namespace ombrelay::test;

TEST_F(FeedPaneFixture, EntriesLoadNewestFirstChangeTabsAndAreMarkedRead)
{
    auto controller = std::make_unique<RSSController>(item());
    EXPECT_EQ(controller->clusteringMode(), 0);
    controller->mainView()->resize(800, 300);
    controller->mainView()->show();
    RSSOutlineView* view = controller->outlineView();
    PZRoundTabView* tabs = controller->tabView();
    ASSERT_TRUE(waitUntil([&] { return view->objects().size() == 6; }, 5000));
    EXPECT_EQ(CurrentRSSOutlineView::current(), view);
    EXPECT_TRUE(waitUntil([&] { return controller->isAnimating(); }, 3000))
        << "the once-a-second check sees a torrent file still being fetched";

    ASSERT_TRUE(waitUntil([&] { QApplication::processEvents(); return tabs->countAtIndex(4) == 2; }, 5000))
        << "Links: the article and the entry whose file never comes";
    EXPECT_EQ(tabs->countAtIndex(1), 4) << "Audio, once the files loaded";
    const auto* first = static_cast<ResultItem*>(view->objectAt(view->model()->index(0, 0)));
    EXPECT_EQ(first->line()->path(), "new") << "newest first";
    const QList<QByteArray> asked = torrentRequests();
    ASSERT_GE(asked.size(), 2);
    EXPECT_EQ(asked.mid(0, 2), QList<QByteArray>({"/new.torrent", "/mid.torrent"})) << "newest first";

    EXPECT_EQ(view->numberOfNewItems(), 6);
    EXPECT_TRUE(CurrentRSSOutlineView::validateMenuItem(1));
    int statusPosts = 0;
    QObject listener;
    listenForNotification(&listener, "RSSOutlineViewStatusChanged", [&](const Notification&) { ++statusPosts; }, view);
    CurrentRSSOutlineView::markAllRead();
    EXPECT_EQ(view->numberOfNewItems(), 0);
    EXPECT_FALSE(CurrentRSSOutlineView::validateMenuItem(1));
    EXPECT_TRUE(CurrentRSSOutlineView::validateMenuItem(0));
    EXPECT_GE(statusPosts, 1);

    controller.reset();
    EXPECT_EQ(CurrentRSSOutlineView::current(), nullptr) << "the holder clears with its list";
    EXPECT_FALSE(CurrentRSSOutlineView::validateMenuItem(0));
}
