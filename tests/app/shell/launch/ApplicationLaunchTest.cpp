// The application's launch and quit paths in-process, over the real disk session in a temporary folder.
#include "app/frame/KoContentView.h"
#include "app/frame/KoMainWindow.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SideCell.h"
#include "app/frame/SourceView.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/shell/KoApplicationController.h"
#include "app/shell/launch/LaunchFixture.h"
#include "app/shell/launch/LoopbackFeed.h"
#include "app/tabs/DelayedProgressIndicator.h"
#include "app/tabs/MainPaneController.h"
#include "app/tabs/PZSquareTabButton.h"
#include "app/tabs/PZSquareTabView.h"
#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "engine/storage/DiskSession.h"
#include "engine/storage/SessionFolder.h"
#include "engine/torrent/TorrentFakes.h"
#include "engine/torrent/TorrentFixtures.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "search/feeds/RSSLine.h"
#include "search/views/MarkAllReadButton.h"
#include "search/views/RSSController.h"
#include "search/views/RSSOutlineView.h"
#include "search/views/ResultItem.h"
#include "support/WaitUntil.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/TransferItem.h"
#include "uikit/PZAlert.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QSpinBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QApplication>
#include <csignal>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;


TEST_F(ApplicationLaunch, ATorrentOpenedAtLaunchIsStoredAndComesBackOnceInItsState)
{
    const QString torrentPath = writeTorrent(QStringLiteral("alpha.bin"));
    {
        auto controller = launch({torrentPath}, 1);
        EXPECT_TRUE(controller->mainWindow()->isVisible());
        EXPECT_EQ(sessionFolderCount(), 1);
        TorrentLinePtr torrent = controller->downloads().objects().value(0);
        ASSERT_TRUE(torrent);
        EXPECT_EQ(torrent->downloadPath(), folder.filePath(QStringLiteral("Downloads")));
        torrent->pauseDownload();
        quit(*controller);
        EXPECT_TRUE(controller->isTerminating());
    }
    // The same file given again at the next launch: the stored transfer is listed first, so it is not
    // added a second time.
    auto controller = launch({torrentPath}, 1);
    ASSERT_TRUE(waitUntil([&] { return !controller->downloads().objects().isEmpty(); }));
    spinFor(300); // time for a second line, which must not come
    ASSERT_EQ(controller->downloads().objects().size(), 1);
    EXPECT_EQ(controller->downloads().objects()[0]->downloadState(), TorrentLine::Paused);
    EXPECT_EQ(sessionFolderCount(), 1);
    // A file that is no torrent adds nothing.
    QFile junk(folder.filePath(QStringLiteral("junk.torrent")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("d4:info");
    junk.close();
    controller->openArguments({junk.fileName(), writeTorrent(QStringLiteral("beta.bin"))});
    EXPECT_TRUE(waitUntil([&] { return controller->downloads().objects().size() == 2; }, 3000));
    EXPECT_EQ(sessionFolderCount(), 2);
}

TEST_F(ApplicationLaunch, QuittingWithActiveTransfersAsksFirstAndCancelKeepsThemRunning)
{
    auto controller = launch({writeTorrent(QStringLiteral("active.bin"))}, 1);
    FakePeers peers;  // in place of the application's own, to make the transfer active at will
    PeerService::install(&peers);
    TorrentLinePtr torrent = controller->downloads().objects()[0];
    ASSERT_EQ(torrent->downloadState(), TorrentLine::Downloading);

    struct Case
    {
        const char* name;
        bool warn;
        int activePeers;
        bool asks;
    };
    const QList<Case> cases{
        {"warning off", false, 3, false},
        {"nothing active", true, 0, false},
        {"one active", true, 3, true},
    };
    for (const Case& test : cases) {
        Settings::instance().setValue(QStringLiteral("kKoWarnQuit"), test.warn);
        peers.counts[torrent.get()] = {test.activePeers, 0, 0};
        torrent->invalidateValues();
        alerts.clear();
        controller->requestQuit();
        EXPECT_EQ(alerts.size(), test.asks ? 1 : 0) << test.name;
    }
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].message, QStringLiteral("Do you really wish to quit?"));
    EXPECT_TRUE(alerts[0].informativeText.startsWith(QStringLiteral("Ombrelay is actively downloading files.")));
    EXPECT_EQ(alerts[0].buttons, (QStringList{QStringLiteral("Quit"), QStringLiteral("Cancel")}));
    controller->requestQuit();
    EXPECT_EQ(alerts.size(), 1) << "one question at a time";
    auto cancel = std::move(pendingAnswer);
    cancel(1, false);
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading);
    EXPECT_FALSE(controller->isTerminating());
    controller->requestQuit();
    EXPECT_EQ(alerts.size(), 2) << "asks again after a cancel";
}

TEST_F(ApplicationLaunch, ASignalQuitsAtOnceWithTheWindowShownAndTransfersActive)
{
    Settings::instance().setValue(QStringLiteral("kKoWarnQuit"), true);
    auto controller = launch({writeTorrent(QStringLiteral("busy.bin"))}, 1);
    FakePeers peers;
    PeerService::install(&peers);
    TorrentLinePtr torrent = controller->downloads().objects()[0];
    peers.counts[torrent.get()] = {2, 1, 0};
    torrent->invalidateValues();
    ASSERT_EQ(controller->downloads().numberOfActiveTorrents(), 1);
    ASSERT_TRUE(controller->mainWindow()->isVisible());

    bool guardFired = false;
    QTimer::singleShot(100, [] { ::raise(SIGTERM); });
    QTimer::singleShot(10000, controller.get(), [&] {
        guardFired = true;
        controller->mainWindow()->hide();
        QCoreApplication::exit(1);
    });
    QApplication::exec();
    EXPECT_FALSE(guardFired) << "the signal did not end the event loop";
    EXPECT_TRUE(alerts.isEmpty()) << "a signal does not ask";
    EXPECT_TRUE(controller->isTerminating());
}

TEST_F(ApplicationLaunch, AQueuedTransferIsStillQueuedAfterARestart)
{
    Settings::instance().setValue(QStringLiteral("kDownloadQueueLimit"), 1);
    const QStringList files{writeTorrent(QStringLiteral("first.bin")), writeTorrent(QStringLiteral("second.bin"))};
    {
        auto controller = launch(files, 2);
        ASSERT_EQ(controller->downloads().objects()[1]->downloadState(), TorrentLine::Waiting);
        quit(*controller);
    }
    auto controller = launch({}, 2);
    const TorrentLineList listed = controller->downloads().objects();
    int downloading = 0, waiting = 0;
    for (const TorrentLinePtr& torrent : listed) {
        downloading += torrent->downloadState() == TorrentLine::Downloading;
        waiting += torrent->downloadState() == TorrentLine::Waiting;
    }
    EXPECT_EQ(downloading, 1);
    EXPECT_EQ(waiting, 1);
}

// The order chosen with a click on the transfers list's Name header is the one it shows after a restart.
TEST_F(ApplicationLaunch, TheTransfersListKeepsItsSortOrderAcrossARestart)
{
    const QStringList files{writeTorrent(QStringLiteral("beta.bin")), writeTorrent(QStringLiteral("alpha.bin")),
                            writeTorrent(QStringLiteral("gamma.bin"))};
    const auto shown = [](KoApplicationController& controller) {
        DownloadsOutlineView* list = controller.downloads().outlineView();
        QStringList names;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            names << static_cast<TransferItem*>(list->objectAt(list->model()->index(row, 0)))->torrent()->path();
        return names;
    };
    const QStringList afterEachClick[] = {{"alpha.bin", "beta.bin", "gamma.bin"}, {"gamma.bin", "beta.bin", "alpha.bin"}};
    QStringList launchArguments = files;
    for (const QStringList& expected : afterEachClick) {
        {
            auto controller = launch(launchArguments, 3);
            QHeaderView* header = controller->downloads().outlineView()->header();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(0) + header->sectionSize(0) / 2, header->height() / 2));
            ASSERT_EQ(shown(*controller), expected);
            quit(*controller);
        }
        launchArguments.clear();
        auto controller = launch({}, 3);
        EXPECT_EQ(shown(*controller), expected);
        quit(*controller);
    }
}

TEST_F(ApplicationLaunch, AddressesGoToTheirHooksCleansedAndOtherSchemesAreNeverPaths)
{
    QStringList searches, magnets;
    KoApplicationController::Hooks hooks;
    hooks.search = [&](const QString& query) { searches.append(query); };
    hooks.openMagnet = [&](const QString& address) { magnets.append(address); };
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567&dn=x");
    // A file named like the address's path would be opened if the address were read as a path.
    const QString lookalike = writeTorrent(QStringLiteral("lookalike"));
    auto controller = launch({QStringLiteral("ombrelaysearch://ubuntu"), magnet, QStringLiteral("ombrelaysearch://"),
                              QStringLiteral("http://example.invalid") + lookalike,
                              QStringLiteral("relative.torrent")},
                             0, hooks);
    EXPECT_TRUE(waitUntil([&] { return searches.size() == 1 && magnets.size() == 1; }, 3000));
    spinFor(200);
    EXPECT_EQ(searches, QStringList{QStringLiteral("ubuntu")});
    EXPECT_EQ(magnets, QStringList{magnet});
    EXPECT_TRUE(controller->downloads().objects().isEmpty());
}

TEST_F(ApplicationLaunch, TorrentsChosenTogetherAreAddedWithOneFolderQuestion)
{
    auto controller = launch({}, 0);
    Settings::instance().setValue(QStringLiteral("kConfirmLocationFinder"), true);
    const auto folderPanels = [] {
        QList<QFileDialog*> panels;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* panel = qobject_cast<QFileDialog*>(widget); panel && panel->isVisible())
                panels.append(panel);
        return panels;
    };
    controller->openFiles({writeTorrent(QStringLiteral("one.bin")), writeTorrent(QStringLiteral("two.bin")),
                           folder.filePath(QStringLiteral("missing.torrent"))});
    const QList<QFileDialog*> panels = folderPanels();
    ASSERT_EQ(panels.size(), 1);
    EXPECT_EQ(panels[0]->windowTitle(), QStringLiteral("Select a download folder for these torrents."));
    const QString chosen = folder.filePath(QStringLiteral("Chosen"));
    QDir().mkpath(chosen);
    panels[0]->setDirectory(chosen);
    panels[0]->selectFile(chosen);
    static_cast<QDialog*>(panels[0])->accept();
    ASSERT_TRUE(waitUntil([&] { return controller->downloads().objects().size() == 2; }, 3000));
    for (const TorrentLinePtr& torrent : controller->downloads().objects())
        EXPECT_EQ(QDir::cleanPath(torrent->downloadPath()), chosen);
}

TEST_F(ApplicationLaunch, TheQuitQuestionBringsBackAMinimisedWindowAndReopenRespectsModals)
{
    Settings::instance().setValue(QStringLiteral("kKoWarnQuit"), true);
    auto controller = launch({writeTorrent(QStringLiteral("busy.bin"))}, 1);
    FakePeers peers;
    PeerService::install(&peers);
    TorrentLinePtr torrent = controller->downloads().objects()[0];
    peers.counts[torrent.get()] = {2, 1, 0};
    torrent->invalidateValues();
    KoMainWindow* window = controller->mainWindow();
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());
    controller->requestQuit();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_FALSE(window->isMinimized());
    std::exchange(pendingAnswer, {})(1, false);

    window->hide();
    QDialog modal;
    modal.setModal(true);
    modal.show();
    controller->reopen();
    EXPECT_FALSE(window->isVisible()) << "a modal window keeps the main window back";
    modal.hide();
    controller->reopen();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(ApplicationLaunch, APortBeingEditedIsStoredAtQuit)
{
    auto controller = launch({}, 0);
    controller->showPreferences();
    auto* port = controller->preferences().window()->findChild<QSpinBox*>(QStringLiteral("btport"));
    ASSERT_TRUE(port);
    port->findChild<QLineEdit*>()->setText(QStringLiteral("52000"));
    EXPECT_EQ(Settings::instance().integer(QStringLiteral("kBTPort")), 6881);
    quit(*controller);
    EXPECT_EQ(Settings::instance().integer(QStringLiteral("kBTPort")), 52000);
    EXPECT_FALSE(controller->preferences().window()->isVisible());
}

// A stored subscription gets its pane from the window's pane factory once, at launch, and nothing is
// fetched for it until it is shown: then its entries' torrents are asked newest first while the tab
// spins, the sidebar counts the entries new, a rename reaches the tab and Mark All Read clears the count.
TEST_F(ApplicationLaunch, AStoredFeedGetsItsPaneOnceFromTheWindowsFactory)
{
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    routeLoopbackFeed(server, 1500);
    storeFeedItem(Settings::instance(), server, QStringLiteral("Loopback"));
    auto controller = launch({}, 0);
    SourceView* sources = controller->mainWindow()->sourceView();
    SelectionController* selection = controller->mainWindow()->selectionController();
    ASSERT_EQ(sources->allItems().size(), 1);
    SourceItem* item = sources->allItems().first();
    ASSERT_TRUE(waitUntil([&] { return selection->numberOfNewItemsForItem(item) == 3; }, 5000));
    EXPECT_EQ(SideCell::bubbleText(selection->numberOfNewItemsForItem(item), selection->numberOfItemsForItem(item)),
              QStringLiteral("3 new"));
    auto* pane = dynamic_cast<MainPaneController*>(selection->controllerForItem(item));
    ASSERT_TRUE(pane);
    RSSController* feed = pane->feedController();
    ASSERT_TRUE(feed);
    spinFor(100);
    EXPECT_TRUE(torrentRequests(server).isEmpty()) << "a pane not shown fetches nothing";

    sources->selectItem(item);
    EXPECT_EQ(controller->mainWindow()->contentView()->currentView(), pane->mainPaneView());
    PZSquareTabButton* tab = pane->tabView()->tabs().value(0);
    ASSERT_TRUE(tab);
    EXPECT_TRUE(waitUntil([&] { return tab->progressIndicator()->isAnimating(); }, 3000)) << "spins while torrents load";
    ASSERT_TRUE(waitUntil([&] { return torrentRequests(server).size() == 3; }, 5000));
    EXPECT_EQ(torrentRequests(server), QList<QByteArray>({"/t/new.torrent", "/t/mid.torrent", "/t/old.torrent"}));
    RSSOutlineView* list = feed->outlineView();
    const auto rowNames = [list] {
        QStringList names;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            names.append(static_cast<ResultItem*>(list->objectAt(list->model()->index(row, 0)))->line()->path());
        return names;
    };
    EXPECT_TRUE(waitUntil([&] { return rowNames() == QStringList({"new", "mid", "old"}); }, 5000)) << rowNames().join(' ').toStdString();
    EXPECT_TRUE(waitUntil([&] { return !tab->progressIndicator()->isAnimating(); }, 5000));

    // Shown again: the same pane and tab, never built twice.
    sources->clearSelection();
    sources->selectItem(item);
    EXPECT_EQ(selection->controllerForItem(item), static_cast<SourcePane*>(pane));
    EXPECT_EQ(pane->tabView()->tabs(), QList<PZSquareTabButton*>({tab}));
    EXPECT_EQ(pane->feedController(), feed);

    sources->editItem(item);
    ASSERT_TRUE(sources->editor());
    sources->editor()->setText(QStringLiteral("Renamed"));
    sources->endEditing(true);
    EXPECT_EQ(tab->controller()->title(), QStringLiteral("Renamed"));

    MarkAllReadButton* button = feed->markAllReadButton();
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(selection->numberOfNewItemsForItem(item), 0);
    EXPECT_EQ(SideCell::bubbleText(0, selection->numberOfItemsForItem(item)), QStringLiteral("3"));
    EXPECT_FALSE(button->isEnabled());
}
