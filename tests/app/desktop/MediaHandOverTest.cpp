#include "DesktopAppFixture.h"

#include "app/desktop/KoiTunesController.h"
#include "app/desktop/PlaylistsButton.h"
#include "kit/PerformLater.h"
#include "kit/SerialQueue.h"
#include "support/UrlRecorder.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/TransferItem.h"

#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QUrl>

namespace ombrelay::test {
namespace {

class MediaHandOver : public DesktopApp
{
protected:
    void SetUp() override
    {
        DesktopApp::SetUp();
        Settings::instance().setBool("kKoAddSong", true);
        Settings::instance().setBool("kKoAddSongToPlaylist", true);
        Settings::instance().setValue("kKoPlaylistName", "Ombrelay");
        server = std::make_unique<FakeNotificationServer>(bus.connect("notices"), QStringList{"body"});
    }
    // Lists the torrent "Mix" (Album/1.mp3, 2.mp3, cover.jpg) with its files on disk.
    TorrentLinePtr listMix()
    {
        TorrentLinePtr torrent = listTorrent("Mix", {{{"Album", "1.mp3"}, 1000}, {{"2.mp3"}, 1000}, {{"cover.jpg"}, 1000}});
        for (const QString file : {"Album/1.mp3", "2.mp3", "cover.jpg"})
            EXPECT_TRUE(writeFile(home.filePath("Downloads/Mix/" + file), file.toUtf8()));
        return torrent;
    }
    // What the engine does for each completed file; answers how many were queued.
    int handOverMix()
    {
        int queued = 0;
        for (const QString file : {"Album/1.mp3", "2.mp3", "cover.jpg"}) {
            const QString path = home.filePath("Downloads/Mix/" + file);
            if (downloads().shouldHandOverFile(path) && downloads().handOverCompletedPath(path))
                ++queued;
        }
        return queued;
    }
    // The export notices say the queue has finished these hand-overs.
    bool waitForExports(int total)
    {
        return waitUntil([&] { return server->notices.size() >= total; }, 10000);
    }
    QString music(const QString& path) const { return home.filePath("Musik/" + path); }
    QString uri(const QString& path) const { return QUrl::fromLocalFile(path).toString(); }

    std::unique_ptr<FakeNotificationServer> server;
};

TEST_F(MediaHandOver, MusicFilesBecomeEntriesListedOnceAndThePlayerDoesWhatTheSettingSays)
{
    launch();
    listMix();
    const QString one = music("Ombrelay/Mix/Album/1.mp3"), two = music("Ombrelay/Mix/2.mp3");
    const struct
    {
        int playSong;
        bool trackList;
        QString status;
        QStringList opened;
        QStringList queued;
    } cases[] = {
        {0, true, "Stopped", {}, {}},
        {1, false, "Playing", {uri(one), uri(two)}, {}},
        {2, false, "Playing", {}, {}},
        {2, false, "Paused", {uri(one), uri(two)}, {}},
        {3, true, "Playing", {}, {uri(one), uri(two)}},
        {3, false, "Playing", {}, {}},
    };
    int exports = 0;
    int n = 0;
    for (const auto& c : cases) {
        FakeMediaPlayer player(bus.connect("player"), QStringLiteral("fake%1").arg(n++), c.trackList);
        player.playbackStatus = c.status;
        Settings::instance().setInteger("kKoPlaySong", c.playSong);
        ASSERT_EQ(handOverMix(), 2);
        exports += 2;
        // The player is called, and answers, before the export's notice is sent.
        ASSERT_TRUE(waitForExports(exports)) << c.playSong;
        EXPECT_EQ(player.opened, c.opened) << c.playSong << qPrintable(c.status);
        EXPECT_EQ(player.queued, c.queued) << c.playSong << qPrintable(c.status);
    }
    EXPECT_EQ(server->notices.last().summary, QStringLiteral("File Exported to Music Library"));
    EXPECT_EQ(server->notices.last().body, home.filePath("Downloads/Mix/2.mp3"));
    EXPECT_EQ(readFile(music("Playlists/Ombrelay.m3u8")), "#EXTM3U\n" + one.toUtf8() + "\n" + two.toUtf8() + "\n");
    EXPECT_FALSE(QFileInfo::exists(music("Ombrelay/Mix/cover.jpg")));
}

TEST_F(MediaHandOver, ARestartAddsNothingTwice)
{
    Settings::instance().setInteger("kKoPlaySong", 0);
    for (int run = 0; run < 2; ++run) {
        launch();
        listMix();
        ASSERT_EQ(handOverMix(), 2);
        // Quitting finishes the queued entries and playlist lines.
        controller->applicationWillTerminate();
        controller.reset();
    }
    EXPECT_EQ(QDir(music("Ombrelay/Mix")).entryList(QDir::Files).size(), 1);  // 2.mp3
    EXPECT_EQ(QDir(music("Ombrelay/Mix/Album")).entryList(QDir::Files), QStringList{"1.mp3"});
    EXPECT_EQ(readFile(music("Playlists/Ombrelay.m3u8")).count('\n'), 3);
}

// With no player, a play opens the entry in the default application, never a file marked executable.
TEST_F(MediaHandOver, WithoutAPlayerPlayOpensTheDefaultApplication)
{
    UrlRecorder recorder({"file"});
    Settings::instance().setInteger("kKoPlaySong", 1);
    launch();
    listMix();
    QFile::setPermissions(home.filePath("Downloads/Mix/2.mp3"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(handOverMix(), 2);
    ASSERT_TRUE(waitForExports(2));
    // The opening may come after the export notices: waited for here, so it never reaches a later test.
    EXPECT_TRUE(waitUntil([&] { return !recorder.opened.isEmpty(); }));
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(music("Ombrelay/Mix/Album/1.mp3"))});
}

// The list's menu offers a complete file that the library takes, and its item adds the file.
TEST_F(MediaHandOver, TheListsMenuAddsToTheMusicLibrary)
{
    Settings::instance().setInteger("kKoPlaySong", 0);
    launch();
    // Name, state, offered.
    const std::tuple<QString, int, bool> cases[] = {{"song.mp3", TorrentLine::Complete, true},
                                                    {"partial.mp3", TorrentLine::Downloading, false},
                                                    {"notes.txt", TorrentLine::Complete, false}};
    for (const auto& [name, state, offered] : cases) {
        TorrentLinePtr torrent = listTorrent(name);
        torrent->restoreDownloadState(state);
        ASSERT_TRUE(writeFile(torrent->fullPath(), "data"));
        DownloadsOutlineView* list = downloads().outlineView();
        const QRect row = list->visualRect(list->indexForObject(list->itemFor(torrent.get())));
        std::unique_ptr<QMenu> menu(list->menuForPoint(row.center()));
        QAction* add = nullptr;
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Add to Music Library"))
                add = action;
        ASSERT_EQ(add != nullptr, offered) << qPrintable(name);
        if (add) {
            add->trigger();
            const QString entry = music("Ombrelay/" + name);
            ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(entry); }));
        }
    }
    KoiTunesController::operationQueue().drain();
    EXPECT_EQ(readFile(music("Playlists/Ombrelay.m3u8")), "#EXTM3U\n" + music("Ombrelay/song.mp3").toUtf8() + "\n");
}

// The pane's pop-up hears of the playlist files a second after it first shows, once.
TEST_F(DesktopApp, PlaylistsButtonListsThePlaylistFiles)
{
    for (const char* file : {"Playlists/Ombrelay.m3u8", "Playlists/Road trip.m3u8", "Playlists/notes.txt",
                             "Playlists/Old/inner.m3u8", "Other.m3u8"})
        ASSERT_TRUE(writeFile(home.filePath(QStringLiteral("Musik/") + file), "#EXTM3U\n"));
    EXPECT_EQ(PlaylistsButton::iTunesLibraryPath(), home.filePath("Musik/Playlists"));
    PlaylistsButton button;
    QSignalSpy read(&button, &PlaylistsButton::playlistsRead);
    button.show();
    EXPECT_TRUE(button.hasTraversed());
    EXPECT_EQ(read.count(), 0) << "not before its delay";
    EXPECT_EQ(PerformLater::runPending(&button), 1);  // the second passes
    ASSERT_TRUE(read.wait(5000));  // read off the main thread
    EXPECT_EQ(read.constFirst().constFirst().toStringList(), (QStringList{"Ombrelay", "Road trip"}));
    button.hide();
    button.show();
    EXPECT_EQ(PerformLater::runPending(&button), 0) << "read once";
    EXPECT_EQ(read.count(), 1);
}

}  // namespace
}  // namespace ombrelay::test
