#include "FeedPaneFixture.h"

#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "search/feeds/Feed.h"
#include "search/views/CurrentRSSOutlineView.h"
#include "search/views/FlatCheckbox.h"
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
    controller->contentView()->resize(800, 300);
    controller->contentView()->show();
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
    EXPECT_EQ(controller->statusText(), "6 entries");
    controller->onlyNewCheckbox()->click();  // nothing new is left to show
    EXPECT_EQ(view->filteredCount(), 0);
    controller->onlyNewCheckbox()->click();
    EXPECT_EQ(view->filteredCount(), 6);

    controller.reset();
    EXPECT_EQ(CurrentRSSOutlineView::current(), nullptr) << "the holder clears with its list";
    EXPECT_FALSE(CurrentRSSOutlineView::validateMenuItem(0));
}

// A feed removed from the sidebar stays removed: nothing the pane does afterwards registers it again,
// so it is neither fetched nor saved any more.
TEST_F(FeedPaneFixture, ARemovedFeedIsNeverRegisteredAgain)
{
    const QString address = item().value("url").toString();
    auto controller = std::make_unique<RSSController>(item());
    controller->contentView()->show();
    ASSERT_TRUE(waitUntil([&] { return controller->outlineView()->lines().size() == 6; }, 5000));
    const auto registered = [&] {
        const QList<Feed*> feeds = Feed::registeredFeeds();
        return std::any_of(feeds.begin(), feeds.end(), [&](Feed* feed) { return feed->address() == address; });
    };
    ASSERT_TRUE(registered());
    Feed::removeFeedWithAddress(address);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the feed goes
    EXPECT_EQ(controller->feed(), nullptr);
    const auto feedRequests = [&] {
        const QList<HttpTestRequest> requests = server.requests();
        return std::count_if(requests.begin(), requests.end(), [](const HttpTestRequest& r) { return r.path == "/rss"; });
    };
    const auto fetchesBefore = feedRequests();
    controller->updateProgressIndicator();
    controller->refreshContents();
    EXPECT_FALSE(controller->statusText().isEmpty());
    EXPECT_EQ(PerformLater::runPending(controller.get()), 1) << "the once-a-second look is due";
    EXPECT_FALSE(registered());
    EXPECT_EQ(feedRequests(), fetchesBefore);
    EXPECT_EQ(controller->outlineView()->lines().size(), 6) << "the pane keeps what it showed";
}
