#include "engine/core/TorrentLifecycle.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "engine/torrent/TorrentFakes.h"
#include "engine/torrent/TorrentFixtures.h"
#include "kit/DateText.h"
#include "kit/NotificationCenter.h"
#include "engine/torrent/Metainfo.h"
#include "search/QueryController.h"
#include "search/SearchSiteScraper.h"
#include "search/views/OutsideName.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/QueryPaneInfoCell.h"
#include "search/views/RSSPaneDateCell.h"
#include "search/views/ResultItem.h"
#include "search/views/ScraperItem.h"
#include "search/views/SearchSiteScraperCell.h"
#include "support/PaintSpy.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZRoundTabView.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

TorrentLinePtr result(const QString& name, int files, int seeds = 0, int leeches = 0)
{
    QList<FileSpec> specs;
    for (int i = 0; i < files; ++i)
        specs.append({{QStringLiteral("track%1.mp3").arg(i)}, 40000});
    TorrentLinePtr line = TorrentLine::torrentLineForData(metainfo(files > 1 ? multiFileInfo(name, specs)
                                                                             : singleFileInfo(name + ".iso", 90000)));
    line->setSeeds(seeds);
    line->setLeeches(leeches);
    return line;
}

QList<int> wanted(const TorrentLine& torrent)
{
    QList<int> indexes;
    for (int i = 0; i < int(torrent.files().size()); ++i)
        if (torrent.files()[i]->shouldDownload())
            indexes.append(i);
    return indexes;
}

class ResultsTest : public EngineFakes
{
protected:
    void SetUp() override
    {
        EngineFakes::SetUp();
        useFakeLifecycle();
    }
};

}  // namespace

TEST(ResultTexts, StarsSwarmTextsDatesAndNames)
{
    const QList<std::pair<qint64, float>> stars = {{-1, 0}, {0, 0}, {1, 0.5f}, {2, 1}, {5, 1}, {6, 1.5f}, {15, 1.5f},
        {16, 2}, {25, 2}, {26, 2.5f}, {50, 2.5f}, {51, 3}, {75, 3}, {76, 3.5f}, {80, 3.5f}, {81, 4}, {100, 4},
        {101, 4.5f}, {150, 4.5f}, {151, 5}, {100000, 5}};
    for (const auto& [swarm, count] : stars)
        EXPECT_EQ(QueryPaneInfoCell::numberOfStars(swarm), count) << swarm;

    struct Text { qint64 seeds, leeches; bool large; int frame, room; const char* text; };
    const QList<Text> texts = {
        {12, 30, false, 200, 100, "12 seeds / 42"}, {1, 0, false, 200, 100, "1 seed"},
        {0, 3, false, 200, 100, "3 peers"}, {12, 30, true, 105, 10, "12 seeds, 30 peers"},
        {12, 30, false, 105, 100, "42"}, {12, 30, false, 200, 40, "42"}, {12, 30, false, 200, 41, "12 seeds / 42"},
        {9999, 1, true, 200, 100, "many"}, {10000, 0, false, 105, 10, "many"}, {0, 0, true, 200, 100, ""}};
    for (const Text& t : texts)
        EXPECT_EQ(QueryPaneInfoCell::swarmText(t.seeds, t.leeches, t.large, t.frame, t.room), QString(t.text))
            << t.seeds << " " << t.leeches << " " << t.large << " " << t.frame << " " << t.room;

    const QDateTime now(QDate(2026, 6, 10), QTime(12, 0));
    EXPECT_EQ(RSSPaneDateCell::dateText(QDateTime(), now), QString());
    EXPECT_EQ(RSSPaneDateCell::dateText(now.addSecs(-3600), now), QStringLiteral("Today"));
    EXPECT_EQ(RSSPaneDateCell::dateText(now.addDays(-1), now), QStringLiteral("Yesterday"));
    EXPECT_EQ(RSSPaneDateCell::dateText(now.addDays(-3), now), DateText::nicelyFormattedString(now.addDays(-3), now));
    const QString later = RSSPaneDateCell::dateText(now.addDays(2), now);
    EXPECT_EQ(later, DateText::nicelyFormattedString(now.addDays(2), now.addDays(40))) << "a medium date";
    EXPECT_NE(later, DateText::nicelyFormattedString(now.addDays(2), now)) << "not a weekday";

    EXPECT_EQ(OutsideName::oneLine(QStringLiteral("a\nb\tc\u2028d")), QStringLiteral("a b c d"));
    EXPECT_EQ(OutsideName::oneLine(QString(5000, 'x')).size(), OutsideName::kMaxLength);
}

TEST(ResultTexts, ShoppingAndStatusAddresses)
{
    EXPECT_EQ(QueryOutlineView::shoppingAddress(QStringLiteral("Some.Film 2008 & more")).toEncoded(),
              QByteArray("http://www.amazon.com/gp/search?ie=UTF8&keywords=Some%20Film%202008%20%26%20more&index=blended"));
    const QByteArray status = "http://twitter.com/home?status=check%20this%20out%3A%20";
    const QList<std::pair<QString, QByteArray>> answers = {
        {"http://is.gd/abc\n", status + "http%3A%2F%2Fis.gd%2Fabc"},
        {"https://s.test/x", status + "https%3A%2F%2Fs.test%2Fx"},
        {"http://a.test/1\nhttp://b.test/2", {}},
        {"http://a.test/" + QString(3000, 'a'), {}},
        {"javascript:alert(1)", {}},
        {"ftp://a.test/x", {}},
        {"Error: please try again", {}},
        {"", {}}};
    for (const auto& [answer, expected] : answers)
        EXPECT_EQ(QueryOutlineView::statusAddress(answer).toEncoded(), expected) << qPrintable(answer);
}

// Rows chosen by the user, whether the torrent is in the transfers list (as the very result, or as
// another object with the same hash), and what ends up wanted and handed to the engine.
TEST_F(ResultsTest, DownloadSelectionLeavesExactlyTheChosenFilesWanted)
{
    enum Live { NotLive, SameObject, OtherObject };
    struct Case { const char* name; Live live; bool torrentRow; QList<int> fileRows; QList<int> skippedBefore;
                  bool handed; QList<int> wantedAfter; };
    const QList<Case> cases = {
        {"two files of a new result", NotLive, false, {0, 2}, {}, true, {0, 2}},
        {"the last file alone", NotLive, false, {3}, {}, true, {3}},
        {"torrent row and one of its files", NotLive, true, {1}, {}, true, {1}},
        {"torrent row alone keeps its files", NotLive, true, {}, {2}, true, {0, 1, 3}},
        {"a skipped file of a running result", SameObject, false, {2}, {2}, false, {0, 1, 2, 3}},
        {"a skipped file of a torrent live as another object", OtherObject, false, {2}, {2, 3}, false, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TorrentLinePtr line = result(QStringLiteral("Album"), 4);
        TorrentLinePtr live = c.live == OtherObject ? result(QStringLiteral("Album"), 4) : line;
        for (int index : c.skippedBefore)
            live->files()[index]->setCheckboxState(OBLine::Skipped, false);
        if (c.live != NotLive)
            host.addDownload(live);
        ResultItem item(line);
        QList<PZOutlineObject*> rows;
        if (c.torrentRow)
            rows.append(&item);
        for (int index : c.fileRows)
            rows.append(item.outlineChild(index));
        const TorrentLineList handed = QueryOutlineView::downloadSelection(rows);
        EXPECT_EQ(handed, c.handed ? TorrentLineList{line} : TorrentLineList{});
        EXPECT_EQ(wanted(*live), c.wantedAfter);
        if (c.live == OtherObject) {
            EXPECT_EQ(wanted(*line), QList<int>({0, 1, 2, 3})) << "the result's own files stay as they were";
        }
        removeEveryDownload(host);
    }
}

TEST_F(ResultsTest, TabsHeightsAndSwarmUpdates)
{
    PZRoundTabView tabs;
    FilterSearchField field;
    QueryOutlineView view;
    view.setUp(&tabs, &field);
    view.resize(700, 300);
    const TorrentLinePtr album = result(QStringLiteral("Album"), 3, 12, 30);
    const TorrentLinePtr disc = result(QStringLiteral("Disc"), 1, 1, 0);
    const TorrentLinePtr other = result(QStringLiteral("Elsewhere"), 1, 5, 5);
    view.setLines({album, disc});
    view.show();
    QApplication::processEvents();
    EXPECT_EQ(tabs.countAtIndex(1), 1) << "Audio";
    EXPECT_EQ(tabs.countAtIndex(3), 1) << "Documents";
    EXPECT_EQ(trackers.scrapes, 2) << "each result asks its trackers once when shown";

    const QModelIndex albumRow = view.indexForObject(view.itemForLine(album.get()));
    EXPECT_EQ(view.visualRect(albumRow).height(), 17);
    Settings::instance().setValue(QStringLiteral("kQueryViewMode"), 1);
    QApplication::processEvents();
    EXPECT_EQ(view.visualRect(albumRow).height(), 41);
    view.expand(albumRow);
    QApplication::processEvents();
    EXPECT_EQ(view.visualRect(view.indexForObject(view.itemForLine(album.get())->outlineChild(0))).height(), 17);
    Settings::instance().setValue(QStringLiteral("kQueryViewMode"), 0);
    view.collapse(albumRow);
    QApplication::processEvents();

    // Unsorted: one swarm update repaints the swarm cell of its row only; another search's is ignored.
    PaintSpy spy;
    view.viewport()->installEventFilter(&spy);
    postNotificationAboutSelf(other.get(), QStringLiteral("TorrentLineSwarmSizeUpdated"));
    QApplication::processEvents();
    EXPECT_EQ(spy.paints, 0);
    postNotificationAboutSelf(disc.get(), QStringLiteral("TorrentLineSwarmSizeUpdated"));
    QApplication::processEvents();
    const QRect cell = view.visualRect(view.indexForObject(view.itemForLine(disc.get()), 2));
    EXPECT_EQ(spy.region.boundingRect(), cell);

    // Sorted by swarm: a burst of updates re-sorts on the next pass.
    view.setSortDescriptors({PZSortDescriptor{QStringLiteral("swarmSize"), false, QStringLiteral("compare:")}});
    QApplication::processEvents();
    EXPECT_EQ(view.objectAt(view.model()->index(0, 0)), view.itemForLine(album.get()));
    for (int i = 0; i < 50; ++i) {
        disc->setSeeds(100 + i);
        postNotificationAboutSelf(disc.get(), QStringLiteral("TorrentLineSwarmSizeUpdated"));
    }
    EXPECT_EQ(view.objectAt(view.model()->index(0, 0)), view.itemForLine(album.get())) << "not within the burst";
    QApplication::processEvents();
    EXPECT_EQ(view.objectAt(view.model()->index(0, 0)), view.itemForLine(disc.get()));
}

// The one-second tick repaints the download cells of visible transfers only; a press on a download button
// follows its result through a re-sort and starts that result on release.
TEST_F(ResultsTest, DownloadCellsRedrawAndFollowTheirResult)
{
    PZRoundTabView tabs;
    FilterSearchField field;
    QueryOutlineView view;
    view.setUp(&tabs, &field);
    view.resize(700, 120);
    TorrentLineList lines;
    for (int i = 0; i < 12; ++i)
        lines.append(result(QStringLiteral("R%1").arg(i), 1, 10 + i));
    host.addDownload(lines[1]);
    host.addDownload(lines[11]);  // below the visible rows
    view.setLines(lines);
    view.show();
    QApplication::processEvents();
    const auto cell = [&](int line, int column) {
        return view.visualRect(view.indexForObject(view.itemForLine(lines[line].get()), column));
    };
    ASSERT_FALSE(view.viewport()->rect().intersects(cell(11, 3)));

    PaintSpy spy;
    view.viewport()->installEventFilter(&spy);
    QObject core;
    postNotificationAboutSelf(&core, QStringLiteral("CoreOneSecondTimer"));
    QApplication::processEvents();
    EXPECT_EQ(spy.region.boundingRect(), cell(1, 3));

    const QPoint press = cell(4, 3).center();
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, press);
    view.setSortDescriptors({PZSortDescriptor{QStringLiteral("swarmSize"), false, QStringLiteral("compare:")}});
    QApplication::processEvents();
    ASSERT_NE(cell(4, 3).center(), press);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, cell(4, 3).center());
    EXPECT_EQ(lifecycle.downloaded, TorrentLineList{lines[4]});
}

TEST_F(ResultsTest, AResultWhoseTransferIsAddedRedrawsItsFileRows)
{
    TorrentLifecycle::install(nullptr);  // in memory: the lines join the list and start
    PZRoundTabView tabs;
    FilterSearchField field;
    QueryOutlineView view;
    view.setUp(&tabs, &field);
    view.resize(700, 300);
    const TorrentLineList lines{result(QStringLiteral("Album"), 3), result(QStringLiteral("Single"), 1)};
    view.setLines(lines);
    view.show();
    ResultItem* album = view.itemForLine(lines[0].get());
    view.expand(view.indexForObject(album));
    QApplication::processEvents();
    const auto downloadCell = [&](PZOutlineObject* row) { return view.visualRect(view.indexForObject(row, 3)); };
    struct Case
    {
        const char* name;
        PZOutlineObject* row;
    };
    const QList<Case> cases{
        {"torrent row", album},
        {"first file", album->outlineChild(0)},
        {"last file", album->outlineChild(2)},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(view.viewport()->rect().contains(downloadCell(c.row))) << c.name;

    PaintSpy spy;
    view.viewport()->installEventFilter(&spy);
    TorrentLifecycle::instance().downloadTorrentLines({lines[0]});
    ASSERT_TRUE(lines[0]->isDownloading());
    QApplication::processEvents();
    for (const Case& c : cases)
        EXPECT_TRUE(QRegion(downloadCell(c.row)).subtracted(spy.region).isEmpty()) << c.name;
}

TEST_F(ResultsTest, ContextMenuItems)
{
    QueryOutlineView view;
    view.setUp(nullptr, nullptr);
    view.resize(700, 200);
    const TorrentLinePtr fresh = result(QStringLiteral("Fresh"), 1);
    fresh->setTorrentAddress(QStringLiteral("http://site.test/fresh.torrent"));
    const TorrentLinePtr running = result(QStringLiteral("Running"), 1);
    host.addDownload(running);
    const TorrentLinePtr bare = result(QStringLiteral("Bare"), 1);
    view.setLines({fresh, running, bare});
    view.show();
    QApplication::processEvents();
    const auto titles = [&](const QList<const TorrentLine*>& selected, const TorrentLine* at) {
        QList<PZOutlineObject*> rows;
        for (const TorrentLine* line : selected)
            rows.append(view.itemForLine(line));
        view.selectObjects(rows);
        const QPoint point = at ? view.visualRect(view.indexForObject(view.itemForLine(at))).center() : QPoint(5, 190);
        std::unique_ptr<QMenu> menu(view.menuForPoint(point));
        QStringList texts;
        for (QAction* action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    };
    EXPECT_EQ(titles({}, fresh.get()), QStringList({"Download to...", "-", "Search Amazon", "Post to Twitter..."}));
    EXPECT_EQ(titles({}, running.get()), QStringList({"Search Amazon"})) << "in the transfers list; no address";
    EXPECT_EQ(titles({fresh.get(), bare.get()}, bare.get()), QStringList()) << "two rows selected";
    EXPECT_EQ(titles({fresh.get()}, bare.get()), QStringList({"Download to...", "-", "Search Amazon"}))
        << "the row under the pointer becomes the selection";
    EXPECT_EQ(titles({fresh.get()}, nullptr), QStringList()) << "below the last row";
    EXPECT_TRUE(view.selectedObjects().isEmpty());
}

// A list following a search shows each result the sites hand in, once per pass of the event loop.
TEST_F(ResultsTest, FollowsItsSearch)
{
    QueryController controller({{"type", "Query"}, {"name", "Album live"}});
    SearchSiteScraper site({{"name", "Site"}}, &controller);
    QueryOutlineView view;
    view.setUp(nullptr, nullptr);
    view.setQueryController(&controller);
    EXPECT_EQ(view.queryTerms(), QStringList({"album", "live"}));
    for (int i = 0; i < 3; ++i)
        controller.addLineForTorrent(*Metainfo::read(metainfo(singleFileInfo(QStringLiteral("R%1").arg(i), 1000))),
                                     &site, QStringLiteral("http://site.test/%1.torrent").arg(i));
    EXPECT_TRUE(view.objects().isEmpty());
    QApplication::processEvents();
    EXPECT_EQ(view.lines(), controller.lines());
}

// Grouped: one group row per site with results shown, over that site's results that pass the tab and the
// filter field; the tabs count the results of every site; group rows span the row and are never selected.
TEST_F(ResultsTest, GroupsBySiteFilterPerSiteAndKeepExpansion)
{
    QueryController controller({{"type", "Query"}, {"name", "live"}});
    SearchSiteScraper music({{"name", "Music"}}, &controller);
    SearchSiteScraper films({{"name", "Films"}}, &controller);
    SearchSiteScraper empty({{"name", "Empty"}}, &controller);
    music.appendLine(result("Album live", 3));
    music.appendLine(result("Concert", 1));
    films.appendLine(TorrentLine::torrentLineForData(metainfo(singleFileInfo("Live clip.avi", 5000))));
    PZRoundTabView tabs;
    FilterSearchField field;
    QueryOutlineView view;
    view.setUp(&tabs, &field);
    view.resize(700, 400);
    view.show();
    view.setScrapers({&music, &films, &empty});
    ASSERT_TRUE(view.isGrouped());
    EXPECT_EQ(view.lines().size(), 3);

    struct Case { int tab; QString text; QList<const SearchSiteScraper*> sites; QList<int> children; };
    const Case cases[] = {
        {0, {}, {&music, &films}, {2, 1}},
        {1, {}, {&music}, {1}},  // audio
        {2, {}, {&films}, {1}},  // video
        {0, "live", {&music, &films}, {1, 1}},
        {0, "nothing", {}, {}},
    };
    for (const Case& c : cases) {
        field.setText(c.text);
        tabs.selectButtonAtIndex(c.tab);
        const QAbstractItemModel& rows = *view.model();
        ASSERT_EQ(rows.rowCount(), c.sites.size()) << c.tab << " " << c.text.toStdString();
        for (int row = 0; row < rows.rowCount(); ++row) {
            const QModelIndex group = rows.index(row, 0);
            auto* item = dynamic_cast<ScraperItem*>(view.objectAt(group));
            ASSERT_TRUE(item);
            EXPECT_EQ(item->scraper(), c.sites[row]);
            EXPECT_EQ(rows.rowCount(group), c.children[row]);
            EXPECT_TRUE(view.isFirstColumnSpanned(row, {}));
            EXPECT_FALSE(rows.flags(group) & Qt::ItemIsSelectable);
            EXPECT_EQ(view.visualRect(group).height(), 32) << "a group row as laid out";
        }
    }
    field.setText({});
    tabs.selectButtonAtIndex(0);
    EXPECT_EQ(tabs.countAtIndex(0), 3);
    EXPECT_EQ(tabs.countAtIndex(1), 1);
    EXPECT_EQ(tabs.countAtIndex(2), 1);

    // The first selectable row is the first result, not its group; selecting everything skips the groups.
    ASSERT_TRUE(view.selectFirstRow());
    ASSERT_EQ(view.selectedObjects().size(), 1);
    EXPECT_TRUE(dynamic_cast<ResultItem*>(view.selectedObjects()[0]));
    view.selectAll();
    for (PZOutlineObject* object : view.selectedObjects())
        EXPECT_FALSE(dynamic_cast<ScraperItem*>(object));

    // A collapsed site stays collapsed when results arrive; the others open.
    view.collapse(view.model()->index(0, 0));
    EXPECT_FALSE(music.isExpanded());
    films.appendLine(TorrentLine::torrentLineForData(metainfo(singleFileInfo("Second clip.avi", 6000))));
    view.setScrapers({&music, &films, &empty});
    EXPECT_FALSE(view.isExpanded(view.model()->index(0, 0)));
    EXPECT_TRUE(view.isExpanded(view.model()->index(1, 0)));

    // Flat again: every result a top-level row, filtered by the tab alone.
    view.setLines(controller.lines() + music.lines() + films.lines());
    EXPECT_FALSE(view.isGrouped());
    EXPECT_EQ(view.model()->rowCount(), 4);
    EXPECT_EQ(tabs.countAtIndex(0), 4);
}

TEST(ResultTexts, SiteGroupCounts)
{
    EXPECT_EQ(SearchSiteScraperCell::resultsText(0), "0 results");
    EXPECT_EQ(SearchSiteScraperCell::resultsText(1), "1 result");
    EXPECT_EQ(SearchSiteScraperCell::resultsText(12), "12 results");
}
