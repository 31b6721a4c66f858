#include "TransfersFixture.h"

#include "uikit/FilterSearchField.h"
#include "uikit/PZOutlineProxyModel.h"
#include "uikit/PZRoundTabView.h"

#include <QMenu>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class TransfersController : public TransfersFixture
{
protected:
    void giveData(const TorrentLinePtr& torrent)
    {
        torrent->downloadBandwidth().recordBytes(20000);
        torrent->invalidateValues();
        ASSERT_GT(torrent->downloadRate(), 0.0f);
    }
};

QStringList menuTitles(QMenu& menu)
{
    QStringList titles;
    for (QAction* action : menu.actions())
        titles.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return titles;
}

}  // namespace

TEST_F(TransfersController, RemovalAsksOnlyForIncompleteTorrentsWithDataWithTheRightTextsAndButtons)
{
    struct Case
    {
        const char* name;
        QList<int> states;
        QList<bool> withData;
        bool warn;
        QString message;  // empty: removed without asking
        QStringList buttons;
    };
    const QString single = QStringLiteral("Are you sure you want to remove this download?");
    const QList<Case> cases{
        {"one complete", {4}, {true}, true, {}, {}},
        {"incomplete without data", {1, 2}, {false, false}, true, {}, {}},
        {"warning off", {1}, {true}, false, {}, {}},
        {"one incomplete with data", {1}, {true}, true, single, {"Remove Download", "Cancel"}},
        {"data among complete ones",
         {4, 1, 4},
         {true, true, false},
         true,
         QStringLiteral("Are you sure you want to remove these 3 downloads?"),
         {"Remove Downloads", "Cancel"}},
    };
    for (const Case& test : cases) {
        Settings::instance().setValue(QStringLiteral("kKoWarnDownloads"), test.warn);
        alerts.clear();
        TorrentLineList list;
        for (int i = 0; i < test.states.size(); ++i) {
            list.append(addTorrent(QStringLiteral("%1 %2").arg(test.name).arg(i), test.states[i]));
            if (test.withData[i])
                giveData(list.last());
        }
        controller->outlineView()->removeDownloads(list);
        if (test.message.isEmpty()) {
            EXPECT_TRUE(alerts.isEmpty()) << test.name;
            EXPECT_TRUE(controller->objects().isEmpty()) << test.name;
            continue;
        }
        ASSERT_EQ(alerts.size(), 1) << test.name;
        EXPECT_EQ(alerts[0].message, test.message) << test.name;
        EXPECT_EQ(alerts[0].buttons, test.buttons) << test.name;
        EXPECT_TRUE(alerts[0].informativeText.startsWith(test.states.size() == 1 ? "Removing this download"
                                                                                 : "Removing these downloads"));
        EXPECT_EQ(controller->objects().size(), list.size()) << "nothing goes before the answer";
        answer(1);  // Cancel
        EXPECT_EQ(controller->objects().size(), list.size()) << test.name;
        controller->outlineView()->removeDownloads(list);
        answer(0);
        EXPECT_TRUE(controller->objects().isEmpty()) << test.name;
    }
}

TEST_F(TransfersController, AConfirmedRemovalActsOnlyOnTorrentsStillListed)
{
    useFakeLifecycle();
    Settings::instance().setValue(QStringLiteral("kKoWarnDownloads"), true);
    TorrentLinePtr first = addTorrent("first", TorrentLine::Downloading);
    TorrentLinePtr second = addTorrent("second", TorrentLine::Downloading);
    giveData(first);
    controller->outlineView()->removeDownloads({first, second});
    ASSERT_EQ(alerts.size(), 1);
    controller->removeDownloads({first});  // gone while the alert is up
    EXPECT_EQ(lifecycle.removals.size(), 1);
    answer(0);
    EXPECT_EQ(lifecycle.removals.size(), 2) << "the first torrent is not removed twice";
    EXPECT_TRUE(controller->objects().isEmpty());
}

TEST_F(TransfersController, ClearCompleteAsksThenRemovesEveryCompleteTorrent)
{
    TorrentLinePtr done = addTorrent("done", TorrentLine::Complete);
    TorrentLinePtr running = addTorrent("running", TorrentLine::Downloading);
    TorrentLinePtr shared = addTorrent("shared", TorrentLine::Complete);
    controller->outlineView()->clearAllComplete();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].message, QStringLiteral("Do you want to clear all complete torrents?"));
    EXPECT_EQ(alerts[0].buttons, (QStringList{"Clear Complete", "Cancel"}));
    answer(0);
    EXPECT_EQ(controller->objects(), TorrentLineList{running});
}

TEST_F(TransfersController, CountsCoverTheWholeListWhateverTheFilterText)
{
    controller->mainView()->resize(800, 400);
    controller->mainView()->show();
    TorrentLinePtr alpha = addTorrent("alpha", TorrentLine::Downloading);
    TorrentLinePtr beta = addTorrent("beta", TorrentLine::Downloading);
    TorrentLinePtr gamma = addTorrent("gamma done", TorrentLine::Complete);
    TorrentLinePtr delta = addTorrent("delta done", TorrentLine::Complete);
    addTorrent("paused", TorrentLine::Paused);
    peers.counts[alpha.get()] = {2, 1, 0};
    peers.counts[beta.get()] = {1, 0, 0};
    controller->updateCell(nullptr);
    QApplication::processEvents();
    EXPECT_EQ(controller->tabView()->countAtIndex(1), 2);
    EXPECT_EQ(controller->tabView()->countAtIndex(3), 2);

    controller->filterField()->setText(QStringLiteral("alpha"));
    QApplication::processEvents();
    controller->updateCell(nullptr);
    QApplication::processEvents();
    EXPECT_EQ(controller->tabView()->countAtIndex(1), 1) << "the buttons follow the filter text";
    EXPECT_EQ(controller->tabView()->countAtIndex(3), 0);
    EXPECT_EQ(controller->numberOfActiveTorrents(), 2) << "the controller counts the whole list";
    EXPECT_EQ(controller->numberOfComplete(), 2);
    EXPECT_EQ(controller->numberOfPausedTorrents(), 1);
    EXPECT_EQ(controller->numberOfDownloadingTorrents(), 2);
}

TEST_F(TransfersController, AnEmptyListHasNoCountsRatesOrTexts)
{
    controller->invalidateBindingsText();
    EXPECT_EQ(controller->numberOfActiveTorrents(), 0);
    EXPECT_EQ(controller->numberOfComplete(), 0);
    EXPECT_EQ(controller->downstreamBandwidthUsage(), 0.0f);
    EXPECT_EQ(controller->upstreamBandwidthUsage(), 0.0f);
    EXPECT_TRUE(controller->downloadsText().isEmpty());
    EXPECT_TRUE(controller->uploadsText().isEmpty());
    EXPECT_TRUE(controller->downloadsRateText().isEmpty());
    EXPECT_TRUE(controller->uploadsRateText().isEmpty());
}

TEST_F(TransfersController, ADetachedDiskHaltsItsTorrentsAndTheirStatesComeBackWithIt)
{
    useFakeLifecycle();
    writeMounts({"/", "/media/disk", "/srv/big"});
    volumes->reload();
    const QString onDisk = QStringLiteral("/media/disk/Downloads");
    TorrentLinePtr downloading = addTorrent("downloading", TorrentLine::Downloading, 1, onDisk);
    TorrentLinePtr paused = addTorrent("paused", TorrentLine::Paused, 1, onDisk);
    TorrentLinePtr complete = addTorrent("complete", TorrentLine::Complete, 1, onDisk);
    TorrentLinePtr local = addTorrent("local", TorrentLine::Downloading);
    // A disk mounted outside the removable-media folders is known by the mount recorded at adding.
    TorrentLinePtr recorded = addTorrent("recorded", TorrentLine::Downloading, 1, "/srv/big/Downloads");
    recorded->setDownloadMountPoint("/srv/big");
    const int disconnects = peers.disconnects;

    writeMounts({"/", "/media/other"});  // mounts gone, one new: mounts are handled first
    volumes->reload();
    for (const TorrentLinePtr& torrent : {downloading, paused, complete, recorded})
        EXPECT_EQ(torrent->downloadState(), TorrentLine::Halted) << qPrintable(torrent->path());
    EXPECT_EQ(downloading->resumeState(), TorrentLine::Downloading);
    EXPECT_EQ(paused->resumeState(), TorrentLine::Paused);
    EXPECT_EQ(complete->resumeState(), TorrentLine::Complete);
    EXPECT_EQ(local->downloadState(), TorrentLine::Downloading) << "not on the detached disk";
    EXPECT_EQ(peers.disconnects - disconnects, 4);
    EXPECT_GE(lifecycle.purges, 4);

    writeMounts({"/"});  // a second unmount keeps the resume states
    volumes->reload();
    EXPECT_EQ(downloading->resumeState(), TorrentLine::Downloading);
    EXPECT_EQ(paused->resumeState(), TorrentLine::Paused);

    // The alert of a halted torrent names the disk.
    controller->runUnmountedAlertForTorrent(*paused);
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].message, QStringLiteral("The external disk \"disk\" is not attached."));
    EXPECT_EQ(alerts[0].buttons, QStringList{"OK"});
    EXPECT_EQ(paused->downloadState(), TorrentLine::Halted);
    // Both name the disk the torrent was recorded on, not the one above its folder now.
    controller->runUnmountedAlertForTorrent(*recorded);
    EXPECT_EQ(alerts.last().message, QStringLiteral("The external disk \"big\" is not attached."));
    EXPECT_EQ(recorded->stateDescription(), QStringLiteral("External disk \"big\" is not attached"));

    const int connects = peers.connects;
    writeMounts({"/", "/media/disk"});
    volumes->reload();
    EXPECT_EQ(downloading->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(recorded->downloadState(), TorrentLine::Halted) << "its own disk is still away";
    EXPECT_EQ(peers.connects - connects, 1) << "the downloading torrent is retried";
    EXPECT_EQ(paused->downloadState(), TorrentLine::Paused);
    EXPECT_EQ(complete->downloadState(), TorrentLine::Complete);

    // A torrent parked for the check of its files, halted meanwhile: the disk's return checks it.
    TorrentLinePtr checking = addTorrent("checking", TorrentLine::Paused, 1, onDisk);
    checking->setStateAfterCheck(TorrentLine::Downloading);
    writeMounts({"/"});
    volumes->reload();
    writeMounts({"/", "/media/disk"});
    volumes->reload();
    EXPECT_EQ(checking->downloadState(), TorrentLine::Downloading);
}

TEST_F(TransfersController, TheContextMenuFollowsTheRowUnderThePointer)
{
    DownloadsOutlineView* view = controller->outlineView();
    controller->mainView()->resize(900, 400);
    controller->mainView()->show();
    TorrentLinePtr onDisk = addTorrent("on disk", TorrentLine::Complete);
    TorrentLinePtr folderTorrent = addTorrent("folder", TorrentLine::Downloading, 3);
    QFile content(onDisk->fullPath());
    ASSERT_TRUE(content.open(QIODevice::WriteOnly));
    content.write("x");
    content.close();
    view->setSortDescriptors({{QStringLiteral("name"), false, QStringLiteral("caseInsensitiveCompare:")}});
    view->rearrangeObjects();
    QApplication::processEvents();
    view->expand(view->indexForObject(view->itemFor(folderTorrent.get())));
    QApplication::processEvents();

    TransferItem* fileRow = static_cast<TransferItem*>(view->itemFor(folderTorrent.get())->outlineChild(0));
    struct Case
    {
        const char* name;
        PZOutlineObject* row;  // null: below the last row
        QStringList titles;
    };
    const QList<Case> cases{
        {"torrent on disk", view->itemFor(onDisk.get()), {"Open", "Open With", "-", "Quick Look", "-", "Remove"}},
        {"torrent without content", view->itemFor(folderTorrent.get()), {"Quick Look", "-", "Remove"}},
        {"file row", fileRow, {"Quick Look"}},
        {"empty area", nullptr, {}},
    };
    for (const Case& test : cases) {
        const QPoint point = test.row ? view->visualRect(view->indexForObject(test.row)).center()
                                      : QPoint(10, view->viewport()->height() - 3);
        std::unique_ptr<QMenu> menu(view->menuForPoint(point));
        EXPECT_EQ(menuTitles(*menu), test.titles) << test.name;
        EXPECT_EQ(view->selectedObjects().size(), test.row ? 1 : 0) << test.name;
    }
}

TEST_F(TransfersController, KeysActOnTheSelectionAndFallThroughWhenItHoldsNoTorrent)
{
    Settings::instance().setValue(QStringLiteral("kKoWarnDownloads"), true);
    DownloadsOutlineView* view = controller->outlineView();
    controller->mainView()->resize(900, 400);
    controller->mainView()->show();
    TorrentLinePtr folderTorrent = addTorrent("folder", TorrentLine::Downloading, 3);
    giveData(folderTorrent);
    QApplication::processEvents();
    view->expand(view->indexForObject(view->itemFor(folderTorrent.get())));
    QApplication::processEvents();
    PZOutlineObject* torrentRow = view->itemFor(folderTorrent.get());
    PZOutlineObject* fileRow = torrentRow->outlineChild(0);

    struct Case
    {
        const char* name;
        PZOutlineObject* row;
        Qt::Key key;
        QString alert;  // empty: none
    };
    const QList<Case> cases{
        {"Delete on a file row", fileRow, Qt::Key_Delete, {}},
        {"Backspace on a file row", fileRow, Qt::Key_Backspace, {}},
        {"Delete on a torrent with data", torrentRow, Qt::Key_Delete,
         QStringLiteral("Are you sure you want to remove this download?")},
        {"Backspace on a torrent with data", torrentRow, Qt::Key_Backspace,
         QStringLiteral("Are you sure you want to remove this download?")},
    };
    for (const Case& test : cases) {
        alerts.clear();
        view->selectObjects({test.row});
        QTest::keyClick(view, test.key);
        if (test.alert.isEmpty()) {
            EXPECT_TRUE(alerts.isEmpty()) << test.name;
        } else {
            ASSERT_EQ(alerts.size(), 1) << test.name;
            EXPECT_EQ(alerts[0].message, test.alert) << test.name;
            answer(1);
        }
        EXPECT_EQ(controller->objects().size(), 1) << test.name;
    }
}

TEST_F(TransfersController, EachSecondTheListIsSortedAndDrawnAgainOnlyWhenARowMayReadDifferently)
{
    controller->mainView()->resize(900, 400);
    controller->mainView()->show();
    addTorrent("quiet", TorrentLine::Downloading);
    const TorrentLinePtr busy = addTorrent("busy", TorrentLine::Downloading);
    addTorrent("waiting", TorrentLine::Waiting);
    QApplication::processEvents();
    int arranged = 0;
    QObject counting;  // the count ends with the test
    QObject::connect(controller->outlineView()->arrangedModel(), &QAbstractItemModel::layoutChanged, &counting,
                     [&] { ++arranged; });
    const auto tick = [&] {
        for (const TorrentLinePtr& torrent : controller->objects()) {
            torrent->invalidateValues();
            torrent->invalidateBindingsText();
        }
        const int before = arranged;
        controller->statsUpdated();
        return arranged > before;
    };
    tick();  // the texts of the new rows

    const struct
    {
        const char* name;
        std::function<void()> change;
        bool sorted;
    } seconds[] = {
        {"nothing changed", [] {}, false},
        {"a torrent's peers changed", [&] { peers.counts[busy.get()] = {2, 1, 0}; }, true},
        {"nothing changed again", [] {}, false},
        {"bytes arrive", [&] { busy->downloadBandwidth().recordBytes(50000); }, true},
        {"the rate holds (its text may too)", [] {}, true},
    };
    for (const auto& second : seconds) {
        second.change();
        EXPECT_EQ(tick(), second.sorted) << second.name;
    }
}
