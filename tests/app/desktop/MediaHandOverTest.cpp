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
#include <functional>
#include <optional>

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
    const QString album = "the album's playlist";
    UrlRecorder defaultApplication({"file"});
    const struct
    {
        int playSong;
        bool trackList;
        QString status;
        QStringList opened;
        QStringList queued;
        bool browserNamedFirst = false;  // another MPRIS name that opens nothing sorts before the player
        bool refuses = false;
        bool albumOpensInDefaultApplication = false;
        bool refusingPlayerNamedFirst = false;  // it names the scheme too, and has no track list
    } cases[] = {
        {0, true, "Stopped", {}, {}},
        {1, false, "Playing", {album}, {}},
        {2, false, "Playing", {}, {}},
        {2, false, "Paused", {album}, {}},
        {3, true, "Playing", {}, {uri(one), uri(two)}},
        {3, false, "Playing", {}, {}},
        {1, false, "Stopped", {album}, {}, true},
        {3, true, "Playing", {}, {uri(one), uri(two)}, true},
        {1, false, "Stopped", {}, {}, false, true, true},
        {1, false, "Stopped", {album}, {}, false, false, false, true},
        {3, true, "Stopped", {}, {uri(one), uri(two)}, false, false, false, true},
    };
    // What the player was asked to open, the album's playlist told by what it lists, in order.
    const auto openedIn = [&](const FakeMediaPlayer& player) {
        QStringList opened;
        for (const QString& address : player.opened) {
            const QString path = QUrl(address).toLocalFile();
            const bool isAlbum =
                path.endsWith(".m3u8") && readFile(path) == "#EXTM3U\n" + one.toUtf8() + "\n" + two.toUtf8() + "\n";
            opened << (isAlbum ? album : address);
        }
        return opened;
    };
    int exports = 0;
    int n = 0;
    for (const auto& c : cases) {
        std::optional<FakeMediaPlayer> browser;
        if (c.browserNamedFirst) {
            browser.emplace(bus.connect("browser"), QStringLiteral("browser.instance%1").arg(n), true);
            browser->uriSchemes.clear();
        }
        std::optional<FakeMediaPlayer> refusing;
        if (c.refusingPlayerNamedFirst) {
            refusing.emplace(bus.connect("refusing"), QStringLiteral("aaa%1").arg(n), false);
            refusing->refuses = true;
        }
        FakeMediaPlayer player(bus.connect("player"), QStringLiteral("zzz%1").arg(n++), c.trackList);
        player.playbackStatus = c.status;
        player.refuses = c.refuses;
        Settings::instance().setInteger("kKoPlaySong", c.playSong);
        defaultApplication.opened.clear();
        ASSERT_EQ(handOverMix(), 2);
        exports += 2;
        // The player is called, and answers, before the export's notice is sent.
        ASSERT_TRUE(waitForExports(exports)) << c.playSong;
        EXPECT_EQ(openedIn(player), c.opened) << c.playSong << qPrintable(c.status);
        EXPECT_EQ(player.queued, c.queued) << c.playSong << qPrintable(c.status);
        if (browser) {
            EXPECT_EQ(browser->opened + browser->queued, QStringList()) << c.playSong;
        }
        // A player that refuses leaves the album to the default application, which opens it once.
        if (c.albumOpensInDefaultApplication) {
            ASSERT_TRUE(waitUntil([&] { return !defaultApplication.opened.isEmpty(); }));
            spinFor(200);
            ASSERT_EQ(defaultApplication.opened.size(), 1);
            EXPECT_EQ(readFile(defaultApplication.opened.first().toLocalFile()),
                      "#EXTM3U\n" + one.toUtf8() + "\n" + two.toUtf8() + "\n");
        } else {
            EXPECT_EQ(defaultApplication.opened, QList<QUrl>()) << c.playSong;
        }
    }
    EXPECT_EQ(server->notices.last().summary, QStringLiteral("File Exported to Music Library"));
    EXPECT_EQ(server->notices.last().body, home.filePath("Downloads/Mix/2.mp3"));
    EXPECT_EQ(readFile(music("Playlists/Ombrelay.m3u8")), "#EXTM3U\n" + one.toUtf8() + "\n" + two.toUtf8() + "\n");
    EXPECT_FALSE(QFileInfo::exists(music("Ombrelay/Mix/cover.jpg")));
    // A tag editor that rewrites an entry in place leaves the seeded file as it was.
    ASSERT_TRUE(writeFile(one, "TAG"));
    EXPECT_EQ(readFile(home.filePath("Downloads/Mix/Album/1.mp3")), "Album/1.mp3");
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

// With no player, a play opens the entry in the default application, an album once as a playlist; never
// a file marked executable.
TEST_F(MediaHandOver, WithoutAPlayerPlayOpensTheDefaultApplication)
{
    UrlRecorder recorder({"file"});
    Settings::instance().setInteger("kKoPlaySong", 1);
    Settings::instance().setBool("kKoAddSongToPlaylist", false);
    launch();
    listMix();
    TorrentLinePtr single = listTorrent("single.mp3");
    ASSERT_TRUE(writeFile(single->fullPath(), "single"));
    QFile::setPermissions(home.filePath("Downloads/Mix/2.mp3"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const struct
    {
        std::function<int()> handOver;
        int files;
        QString opened;  // a file, or a playlist of the album's entries
        QStringList listed;
    } cases[] = {
        {[&] { return int(downloads().handOverCompletedPath(single->fullPath())); }, 1, music("Ombrelay/single.mp3"), {}},
        {[&] { return handOverMix(); }, 2, {}, {music("Ombrelay/Mix/Album/1.mp3"), music("Ombrelay/Mix/2.mp3")}},
    };
    int exports = 0;
    for (const auto& c : cases) {
        recorder.opened.clear();
        ASSERT_EQ(c.handOver(), c.files);
        ASSERT_TRUE(waitForExports(exports += c.files));
        // The opening may come after the export notices: waited for here, so it never reaches a later test.
        ASSERT_TRUE(waitUntil([&] { return !recorder.opened.isEmpty(); }));
        spinFor(200);
        ASSERT_EQ(recorder.opened.size(), 1);
        const QString opened = recorder.opened.first().toLocalFile();
        if (c.listed.isEmpty())
            EXPECT_EQ(opened, c.opened);
        else
            EXPECT_EQ(readFile(opened), "#EXTM3U\n" + c.listed.join('\n').toUtf8() + "\n");
    }
    EXPECT_FALSE(QFileInfo(music("Ombrelay/Mix/2.mp3")).isExecutable()) << "an entry of its own, never a program";
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
