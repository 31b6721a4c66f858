// Torrents on a real ext4 disk unplugged and plugged in again while the application runs or is not running.
#include "app/shell/IncompleteFolderMover.h"
#include "app/shell/PreferenceWatcher.h"
#include "app/shell/launch/LaunchFixture.h"
#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/lifecycle/LoopDisk.h"
#include "engine/storage/PieceStore.h"
#include "transfers/DownloadsOutlineView.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class DetachedDisk : public ApplicationLaunch
{
protected:
    void SetUp() override
    {
        ApplicationLaunch::SetUp();
        disk = std::make_unique<LoopDisk>(folder.filePath(QStringLiteral("disk.img")), mountPoint);
        if (!disk->isMounted())
            GTEST_SKIP() << "mounting a disk image needs root, mkfs.ext4 and losetup";
        volumes = std::make_unique<VolumeMonitor>(QStringLiteral("/proc/self/mountinfo"));
        Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), false);
        Settings::instance().setValue(QStringLiteral("save_directory"), onDisk);
    }
    // An eight-piece torrent of one file, written where the application opens it.
    QString torrentFile(const QString& name)
    {
        made[name] = RealTorrent::make(name, {{{name}, 8 * 16384}}, 16384, qHash(name));
        EXPECT_TRUE(writeFile(folder.filePath(name + QStringLiteral(".torrent")), made[name].metainfo));
        return folder.filePath(name + QStringLiteral(".torrent"));
    }
    TorrentLinePtr listed(const QString& name) const
    {
        for (const TorrentLinePtr& torrent : app->downloads().objects())
            if (torrent->path() == name)
                return torrent;
        return nullptr;
    }
    void feed(const QString& name, int pieces)
    {
        const TorrentLinePtr torrent = listed(name);
        for (int piece = 0; piece < pieces; ++piece)
            ASSERT_TRUE(feedPiece(*torrent, made[name], piece, QStringLiteral("10.0.0.1:1")));
        ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == pieces; }));
    }
    // Plugged in or out, and seen so by the application.
    void plug(bool in)
    {
        ASSERT_TRUE(in ? disk->mount() : disk->unmount());
        ASSERT_TRUE(waitUntil([&] { return volumes->mountPoints().contains(mountPoint) == in; }));
    }
    void answer(int button) { std::exchange(pendingAnswer, {})(button, false); }
    void useIncomplete(bool on) { Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), on); }

    const QString mountPoint = folder.filePath(QStringLiteral("disk"));
    const QString onDisk = mountPoint + QStringLiteral("/Downloads");
    std::unique_ptr<LoopDisk> disk;
    QHash<QString, RealTorrent> made;
    std::unique_ptr<KoApplicationController> app;
};

}  // namespace

TEST_F(DetachedDisk, ItsTorrentsWaitForItAcrossARestartAndComeBackAsTheyWere)
{
    Settings::instance().setValue(QStringLiteral("kIncompleteFolder"), folder.filePath("inc"));
    app = launch({torrentFile("whole.bin"), torrentFile("half.bin")}, 2);
    useIncomplete(true);
    ASSERT_TRUE(waitUntil([&] { return alerts.size() == 1; }));
    answer(1);  // "Do Not Move"
    app->openArguments({torrentFile("moving.bin"), torrentFile("removed.bin")});
    ASSERT_TRUE(waitUntil([&] { return app->downloads().objects().size() == 4; }));
    feed("whole.bin", 8);
    feed("half.bin", 4);
    ASSERT_TRUE(waitUntil([&] { return listed("whole.bin")->isComplete(); }));

    // Finished while the disk is away: halted in the incomplete folder, and removed, its data stays unasked.
    plug(false);
    feed("moving.bin", 8);
    feed("removed.bin", 8);
    const TorrentLinePtr removed = listed("removed.bin");
    ASSERT_TRUE(waitUntil([&] { return removed->isHalted() && listed("moving.bin")->isHalted(); }));
    app->downloads().outlineView()->removeDownloads({removed});
    EXPECT_EQ(alerts.size(), 1);
    SessionLifecycle::cleanupQueue().drain();
    EXPECT_EQ(readFile(folder.filePath("inc/removed.bin")), made["removed.bin"].content);

    // A start while it is still away makes nothing where it was mounted; its return brings all back.
    quit(*app);
    app.reset();
    app = launch({}, 3);
    EXPECT_TRUE(QDir(mountPoint).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    PieceStore::drainQueues();
    plug(true);
    const TorrentLinePtr whole = listed("whole.bin"), half = listed("half.bin"),
                         moving = listed("moving.bin");
    ASSERT_TRUE(waitUntil([&] {
        return whole->isComplete() && half->downloadState() == TorrentLine::Downloading &&
               moving->isComplete() && moving->downloadPath() == onDisk;
    }));
    EXPECT_EQ(whole->downloadedPieces().count(), 8);
    EXPECT_EQ(half->downloadedPieces().count(), 4);
    EXPECT_EQ(readFile(onDisk + QStringLiteral("/moving.bin")), made["moving.bin"].content);
}

TEST_F(DetachedDisk, ATorrentInTheFolderUnderItGoesOnAndNothingMovesOntoItWhileAway)
{
    // One torrent added to a plain folder, another once the disk is mounted over that folder.
    torrentFile("there.bin");
    ASSERT_TRUE(writeFile(mountPoint + QStringLiteral("/there.bin"), made["there.bin"].content));
    plug(false);
    Settings::instance().setValue(QStringLiteral("save_directory"), mountPoint);
    app = launch({torrentFile("under.bin")}, 1);
    plug(true);
    app->openArguments({torrentFile("over.bin")});
    ASSERT_TRUE(waitUntil([&] { return app->downloads().objects().size() == 2; }));
    plug(false);
    ASSERT_TRUE(waitUntil([&] { return listed("over.bin")->isHalted(); }));
    feed("under.bin", 2);
    EXPECT_EQ(listed("under.bin")->downloadState(), TorrentLine::Downloading);

    // Already on the disk, added while it is away: checked once it is back, not fetched again.
    app->openArguments({folder.filePath("there.bin.torrent")});
    ASSERT_TRUE(waitUntil([&] { return listed("there.bin") && listed("there.bin")->isHalted(); }));
    plug(true);
    EXPECT_TRUE(waitUntil([&] { return listed("there.bin")->isComplete(); })) << listed("there.bin")->downloadState();
    plug(false);

    // The incomplete folder is on the disk: no move is offered while it is away, and one offered before
    // it went is refused.
    useIncomplete(true);
    ASSERT_TRUE(waitUntil([&] { return alerts.size() == 1; }));
    EXPECT_EQ(alerts[0].buttons, QStringList{QStringLiteral("OK")}) << qPrintable(alerts[0].message);
    answer(0);
    useIncomplete(false);
    plug(true);
    useIncomplete(true);
    ASSERT_TRUE(waitUntil([&] { return alerts.size() == 2; }));
    plug(false);
    answer(0);  // "Move Torrents"
    ASSERT_TRUE(waitUntil([&] { return app->preferenceWatcher()->incompleteFolder().movesRunning() == 0; }));
    EXPECT_EQ(QDir::cleanPath(listed("under.bin")->downloadPath()), mountPoint);
}
