// The result and feed lists under a real X server: the outer test starts Xvfb and runs the inner tests of
// this program on it, which save the pictures in the build folder and check a few pixels.
#include "FeedPaneFixture.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "search/feeds/RSSLine.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/RSSController.h"
#include "search/views/RSSOutlineView.h"
#include "search/views/ResultItem.h"
#include "support/Pictures.h"
#include "support/PrivateDisplay.h"
#include "support/WaitUntil.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QVBoxLayout>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const char* kChild = "OMBRELAY_RESULTS_XVFB_CHILD";

// The rightmost column of the rectangle holding a pixel bluer than it is red.
int lastBlueColumn(const QImage& image, const QRect& rect)
{
    int last = -1;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qBlue(image.pixel(x, y)) > qRed(image.pixel(x, y)) + 60)
                last = std::max(last, x);
    return last - rect.left();
}

class UnderXvfbResults : public EngineFakes
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "run by ResultsGallery.PicturesUnderXvfb";
        EngineFakes::SetUp();
        useFakeLifecycle();
    }
    TorrentLinePtr line(const QString& name, int files, int seeds, int leeches, int liveState = -1)
    {
        QList<FileSpec> specs;
        for (int i = 0; i < files; ++i)
            specs.append({{QStringLiteral("%1 - track %2.mp3").arg(name).arg(i + 1)}, 4000000});
        TorrentLinePtr made = TorrentLine::torrentLineForData(
            metainfo(files > 1 ? multiFileInfo(name, specs) : singleFileInfo(name + ".avi", 700000000)));
        made->setSeeds(seeds);
        made->setLeeches(leeches);
        if (liveState >= 0) {
            host.addDownload(made);
            made->restoreDownloadState(liveState);
        }
        return made;
    }
};

class UnderXvfbFeed : public FeedPaneFixture
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kChild))
            GTEST_SKIP() << "run by ResultsGallery.PicturesUnderXvfb";
        FeedPaneFixture::SetUp();
    }
};

}  // namespace

TEST(ResultsGallery, PicturesUnderXvfb)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChild, "1");
    environment.insert("DISPLAY", display.display());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=UnderXvfb*"});
    ASSERT_TRUE(child.waitForFinished(90000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    for (const char* name : {"results-compact.png", "results-large.png", "feed-pane.png"})
        EXPECT_FALSE(QImage(picturePath("OMBRELAY_RESULTS_PICTURE", name)).isNull()) << name;
}

TEST_F(UnderXvfbResults, CompactAndLargeViews)
{
    Settings::instance().setValue("kHighlightQueryTerm", true);
    const TorrentLinePtr album = line("Album Live 2008", 3, 12, 30);
    album->files()[1]->setCheckboxState(OBLine::Skipped, false);
    const TorrentLinePtr big = line("Big swarm", 1, 200, 20);
    const TorrentLinePtr half = line("Half live", 1, 100, 20);
    const TorrentLinePtr quiet = line("Quiet disc", 1, 0, 0);
    const TorrentLinePtr running = line("Running show", 1, 3, 4, TorrentLine::Downloading);
    running->setDownloaded(running->totalLength() / 3);
    running->downloadBandwidth().recordBytes(250000);
    running->invalidateValues();
    const TorrentLinePtr paused = line("Paused live set", 1, 2, 2, TorrentLine::Paused);
    const TorrentLinePtr queued = line("Queued album", 1, 2, 0, TorrentLine::Waiting);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new PZRoundTabView();
    auto* field = new FilterSearchField();
    auto* view = new QueryOutlineView();
    layout->addWidget(tabs);
    layout->addWidget(field);
    layout->addWidget(view, 1);
    view->setUp(tabs, field);
    view->setQueryTerms({"album", "live"});
    view->setLines({album, big, half, quiet, running, paused, queued});
    window.resize(760, 330);
    window.show();
    window.activateWindow();
    view->setFocus();
    view->expand(view->indexForObject(view->itemForLine(album.get())));
    view->selectObjects({view->itemForLine(big.get())});
    // The selection shows in the active colours only once the window holds the focus.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(waitUntil([&] { return view->hasFocus(); }));

    QImage compact = window.grab().toImage();
    ASSERT_TRUE(compact.save(picturePath("OMBRELAY_RESULTS_PICTURE", "results-compact.png")));
    const auto* albumItem = view->itemForLine(album.get());
    const auto cellRect = [&](const PZOutlineObject* object, int column) {
        return view->visualRect(view->indexForObject(object, column)).translated(view->viewport()->mapTo(&window, QPoint()));
    };
    const QRect wantedSize = cellRect(albumItem->outlineChild(0), 1).adjusted(2, 2, -2, -2);
    const QRect skippedSize = cellRect(albumItem->outlineChild(1), 1).adjusted(2, 2, -2, -2);
    EXPECT_GT(darkestGrey(compact, skippedSize), darkestGrey(compact, wantedSize) + 40) << "the skipped file is grey";
    const int fiveStars = lastBlueColumn(compact, cellRect(view->itemForLine(big.get()), 2).adjusted(6, 2, 0, -2));
    const int halfStars = lastBlueColumn(compact, cellRect(view->itemForLine(half.get()), 2).adjusted(6, 2, 0, -2));
    EXPECT_LE(halfStars, 54) << "4.5 stars: at most 54 px";
    EXPECT_GT(fiveStars, 54) << "5 stars reach past 54 px";
    EXPECT_EQ(view->visualRect(view->indexForObject(view->itemForLine(quiet.get()))).height(), 17);

    Settings::instance().setValue("kQueryViewMode", 1);
    view->setSortDescriptors({PZSortDescriptor{"swarmSize", false, "compare:"}});
    view->collapse(view->indexForObject(albumItem));
    waitUntil([&] { return view->visualRect(view->indexForObject(albumItem)).height() == 41; });
    const QImage large = window.grab().toImage();
    ASSERT_TRUE(large.save(picturePath("OMBRELAY_RESULTS_PICTURE", "results-large.png")));
    EXPECT_EQ(view->visualRect(view->indexForObject(albumItem)).height(), 41);
    EXPECT_EQ(view->objectAt(view->model()->index(0, 0)), view->itemForLine(big.get()));
    Settings::instance().setValue("kQueryViewMode", 0);
}

TEST_F(UnderXvfbFeed, FeedPane)
{
    RSSController controller(item());
    controller.contentView()->resize(900, 260);
    controller.contentView()->show();
    RSSOutlineView* view = controller.outlineView();
    ASSERT_TRUE(waitUntil([&] { return controller.tabView()->countAtIndex(4) == 2; }, 10000));
    for (const TorrentLinePtr& line : view->lines())  // "New", "Article" and "Mid" stay new
        if (line->date() < QDateTime::currentDateTime().addDays(-2)) {
            static_cast<RSSLine*>(line.get())->markAsRead();
            postNotificationAboutSelf(line.get(), "RSSLineReadStatusUpdated");
        }
    waitUntil([&] { return view->numberOfNewItems() == 3; });
    const QImage picture = controller.contentView()->grab().toImage();
    ASSERT_TRUE(picture.save(picturePath("OMBRELAY_RESULTS_PICTURE", "feed-pane.png")));
    EXPECT_EQ(view->numberOfNewItems(), 3);
}
