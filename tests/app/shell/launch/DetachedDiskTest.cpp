// Transfers on a real ext4 disk that is unplugged and plugged in again while the application runs or
// while it is not running: what was stored on it comes back with it, nothing is written into the empty
// folder it leaves behind, and torrents elsewhere carry on.
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

const QString kPeer = QStringLiteral("10.0.0.1:1");

class DetachedDisk : public ApplicationLaunch
{
protected:
    void SetUp() override
    {
        ApplicationLaunch::SetUp();
        disk = std::make_unique<LoopDisk>(folder.filePath(QStringLiteral("disk.img")), mountPoint());
        if (!disk->isMounted())
            GTEST_SKIP() << "mounting a disk image needs root, mkfs.ext4 and losetup";
        // The real mount table: the disk comes and goes as a user's does.
        volumes = std::make_unique<VolumeMonitor>(QStringLiteral("/proc/self/mountinfo"));
        Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), false);
        Settings::instance().setValue(QStringLiteral("save_directory"), onDisk());
    }
    void TearDown() override
    {
        disk.reset();
        ApplicationLaunch::TearDown();
    }

    QString mountPoint() const { return folder.filePath(QStringLiteral("disk")); }
    QString onDisk() const { return mountPoint() + QStringLiteral("/Downloads"); }
    bool mountPointIsEmpty() const
    {
        return QDir(mountPoint()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    // An eight-piece torrent of one file, written where the application opens it.
    RealTorrent torrentFile(const QString& name, quint32 seed)
    {
        const RealTorrent t = RealTorrent::make(name, {{{name}, 8 * 16384}}, 16384, seed);
        EXPECT_TRUE(writeFile(pathOf(name), t.metainfo));
        return t;
    }
    QString pathOf(const QString& name) const { return folder.filePath(name + QStringLiteral(".torrent")); }
    static TorrentLinePtr listed(KoApplicationController& controller, const QString& name)
    {
        for (const TorrentLinePtr& torrent : controller.downloads().objects())
            if (torrent->path() == name)
                return torrent;
        return nullptr;
    }
    static void feed(TorrentLine& torrent, const RealTorrent& t, quint32 first, quint32 end)
    {
        for (quint32 piece = first; piece < end; ++piece)
            ASSERT_TRUE(feedPiece(torrent, t, piece, kPeer));
        ASSERT_TRUE(waitUntil(
            [&] { return torrent.downloadedPieces().countWithinRange(first, end - first) == end - first; }));
    }
    void answer(int button) { std::exchange(pendingAnswer, {})(button, false); }
    // Plugged in or out, and seen so by the application.
    void plug()
    {
        ASSERT_TRUE(disk->mount());
        ASSERT_TRUE(waitUntil([&] { return volumes->mountPoints().contains(mountPoint()); }));
    }
    void unplug()
    {
        ASSERT_TRUE(disk->unmount());
        ASSERT_TRUE(waitUntil([&] { return !volumes->mountPoints().contains(mountPoint()); }));
    }

    std::unique_ptr<LoopDisk> disk;
};

}  // namespace

TEST_F(DetachedDisk, ALaunchWhileTheDiskIsAwayKeepsEveryTorrentsProgressAndItsReturnResumesThem)
{
    const RealTorrent whole = torrentFile(QStringLiteral("whole.bin"), 41);
    const RealTorrent half = torrentFile(QStringLiteral("half.bin"), 42);
    {
        auto controller =
            launch({pathOf(QStringLiteral("whole.bin")), pathOf(QStringLiteral("half.bin"))}, 2);
        feed(*listed(*controller, QStringLiteral("whole.bin")), whole, 0, 8);
        feed(*listed(*controller, QStringLiteral("half.bin")), half, 0, 4);
        ASSERT_TRUE(
            waitUntil([&] { return listed(*controller, QStringLiteral("whole.bin"))->isComplete(); }));
        quit(*controller);
    }
    unplug();
    {
        auto controller = launch({}, 2);
        const TorrentLinePtr w = listed(*controller, QStringLiteral("whole.bin"));
        const TorrentLinePtr h = listed(*controller, QStringLiteral("half.bin"));
        ASSERT_TRUE(w && h);
        EXPECT_EQ(w->downloadState(), TorrentLine::Halted);
        EXPECT_EQ(h->downloadState(), TorrentLine::Halted);
        EXPECT_EQ(w->stateDescription(), QStringLiteral("External disk \"disk\" is not attached"));
        PieceStore::drainQueues();  // the stores have looked at their files

        plug();
        const auto back = [&] { return w->isComplete() && h->downloadState() == TorrentLine::Downloading; };
        ASSERT_TRUE(waitUntil(back)) << w->downloadState() << " " << h->downloadState();
        EXPECT_EQ(w->downloadedPieces().count(), 8) << "the complete torrent holds every piece again";
        EXPECT_EQ(h->downloadedPieces().count(), 4) << "the other one goes on where it was";
        feed(*h, half, 4, 8);
        ASSERT_TRUE(waitUntil([&] { return h->isComplete(); }));
        EXPECT_EQ(readFile(onDisk() + QStringLiteral("/half.bin")), half.content);
        EXPECT_EQ(readFile(onDisk() + QStringLiteral("/whole.bin")), whole.content);
        quit(*controller);
    }
    // What the disk's return gave back is what the next start finds.
    auto controller = launch({}, 2);
    EXPECT_EQ(listed(*controller, QStringLiteral("whole.bin"))->downloadedPieces().count(), 8);
    EXPECT_TRUE(listed(*controller, QStringLiteral("half.bin"))->isComplete());
}

TEST_F(DetachedDisk, EachTorrentIsJudgedByTheMountItWasAddedOnNotByTheLastOneAddedToItsFolder)
{
    // A torrent added to a plain folder; later a disk is mounted over that folder and more are added.
    unplug();
    Settings::instance().setValue(QStringLiteral("save_directory"), mountPoint());
    const RealTorrent first = torrentFile(QStringLiteral("first.bin"), 51);
    torrentFile(QStringLiteral("second.bin"), 52);
    auto controller = launch({pathOf(QStringLiteral("first.bin"))}, 1);
    plug();
    controller->openArguments({pathOf(QStringLiteral("second.bin"))});
    ASSERT_TRUE(waitUntil([&] { return controller->downloads().objects().size() == 2; }));
    const TorrentLinePtr a = listed(*controller, QStringLiteral("first.bin"));
    const TorrentLinePtr b = listed(*controller, QStringLiteral("second.bin"));
    ASSERT_TRUE(a && b);

    unplug();
    ASSERT_TRUE(waitUntil([&] { return b->isHalted(); }));
    EXPECT_EQ(b->stateDescription(), QStringLiteral("External disk \"disk\" is not attached"));
    // The first one's folder is on the system disk again, where its data goes.
    feed(*a, first, 0, 2);
    EXPECT_EQ(a->downloadState(), TorrentLine::Downloading) << qPrintable(a->stateDescription());
    PieceStore::drainQueues();
    EXPECT_EQ(readFile(mountPoint() + QStringLiteral("/first.bin")).left(2 * 16384),
              first.content.left(2 * 16384));

    plug();
    ASSERT_TRUE(waitUntil([&] { return b->downloadState() == TorrentLine::Downloading; }));
    EXPECT_EQ(a->downloadState(), TorrentLine::Downloading);
}

TEST_F(DetachedDisk, AFinishedTorrentWaitsInTheIncompleteFolderUntilItsDownloadFoldersDiskIsBack)
{
    // One torrent on the disk, so that the application knows where it is mounted.
    torrentFile(QStringLiteral("stays.bin"), 61);
    const RealTorrent moving = torrentFile(QStringLiteral("moving.bin"), 62);
    const RealTorrent removed = torrentFile(QStringLiteral("removed.bin"), 63);
    const QString incomplete = folder.filePath(QStringLiteral("inc"));
    Settings::instance().setValue(QStringLiteral("kIncompleteFolder"), incomplete);
    {
        auto controller = launch({pathOf(QStringLiteral("stays.bin"))}, 1);
        Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), true);
        ASSERT_TRUE(waitUntil([&] { return alerts.size() == 1; }));
        answer(1);  // "Do Not Move"
        controller->openArguments(
            {pathOf(QStringLiteral("moving.bin")), pathOf(QStringLiteral("removed.bin"))});
        ASSERT_TRUE(waitUntil([&] { return controller->downloads().objects().size() == 3; }));
        const TorrentLinePtr torrent = listed(*controller, QStringLiteral("moving.bin"));
        ASSERT_EQ(QDir::cleanPath(torrent->downloadPath()), incomplete);

        unplug();
        ASSERT_TRUE(waitUntil([&] { return listed(*controller, QStringLiteral("stays.bin"))->isHalted(); }));
        feed(*torrent, moving, 0, 8);
        ASSERT_TRUE(waitUntil([&] { return torrent->isHalted(); })) << torrent->downloadState();
        EXPECT_EQ(torrent->resumeState(), TorrentLine::Complete);
        EXPECT_EQ(torrent->stateDescription(), QStringLiteral("External disk \"disk\" is not attached"));
        EXPECT_EQ(QDir::cleanPath(torrent->downloadPath()), incomplete);
        EXPECT_TRUE(mountPointIsEmpty()) << "written on the system disk";

        // One that waits too, removed from the list: its data is whole, and stays, unasked.
        const TorrentLinePtr other = listed(*controller, QStringLiteral("removed.bin"));
        feed(*other, removed, 0, 8);
        ASSERT_TRUE(waitUntil([&] { return other->isHalted(); }));
        controller->downloads().outlineView()->removeDownloads({other});
        EXPECT_EQ(alerts.size(), 1) << "asked as for an incomplete download";
        if (alerts.size() > 1)
            answer(0);  // "Remove Download"
        SessionLifecycle::cleanupQueue().drain();
        EXPECT_EQ(readFile(incomplete + QStringLiteral("/removed.bin")), removed.content);
        quit(*controller);
    }
    // Still away at the next start: it waits where it is.
    auto controller = launch({}, 2);
    const TorrentLinePtr torrent = listed(*controller, QStringLiteral("moving.bin"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isHalted(); })) << torrent->downloadState();
    EXPECT_EQ(QDir::cleanPath(torrent->downloadPath()), incomplete);
    EXPECT_TRUE(mountPointIsEmpty()) << "written on the system disk";

    plug();
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete() && torrent->downloadPath() == onDisk(); }))
        << torrent->downloadState() << " " << torrent->downloadPath().toStdString();
    EXPECT_EQ(torrent->downloadMountPoint(), mountPoint());
    EXPECT_EQ(readFile(onDisk() + QStringLiteral("/moving.bin")), moving.content);
    // Copied across disks, the source goes once the copy is in place, off the main thread.
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(incomplete + QStringLiteral("/moving.bin")); }));
    EXPECT_EQ(torrent->downloadedPieces().count(), 8);
}

TEST_F(DetachedDisk, NoTorrentIsMovedIntoAnIncompleteFolderOnADiskThatIsAway)
{
    torrentFile(QStringLiteral("stays.bin"), 71);
    const RealTorrent elsewhere = torrentFile(QStringLiteral("elsewhere.bin"), 72);
    auto controller = launch({pathOf(QStringLiteral("stays.bin"))}, 1);
    Settings::instance().setValue(QStringLiteral("save_directory"),
                                  folder.filePath(QStringLiteral("system")));
    controller->openArguments({pathOf(QStringLiteral("elsewhere.bin"))});
    ASSERT_TRUE(waitUntil([&] { return controller->downloads().objects().size() == 2; }));
    const TorrentLinePtr torrent = listed(*controller, QStringLiteral("elsewhere.bin"));
    feed(*torrent, elsewhere, 0, 2);
    const QString before = torrent->downloadPath();
    Settings::instance().setValue(QStringLiteral("save_directory"), onDisk());
    IncompleteFolderMover& mover = controller->preferenceWatcher()->incompleteFolder();

    // Turned on with the disk away ("Incomplete" inside the download folder): no move is offered.
    unplug();
    ASSERT_TRUE(waitUntil([&] { return listed(*controller, QStringLiteral("stays.bin"))->isHalted(); }));
    Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), true);
    ASSERT_TRUE(waitUntil([&] { return alerts.size() == 1; }));
    EXPECT_EQ(alerts[0].message, QStringLiteral("The external disk \"disk\" is not attached."));
    EXPECT_EQ(alerts[0].informativeText,
              QStringLiteral(
                  "The incomplete folder (%1) is located on an external disk that is not currently "
                  "attached. Please reattach this disk and choose the incomplete folder again to move your "
                  "1 incomplete torrent to this new location.")
                  .arg(onDisk() + QStringLiteral("/Incomplete")));
    EXPECT_EQ(alerts[0].buttons, QStringList{QStringLiteral("OK")});
    answer(0);
    EXPECT_EQ(mover.movesRunning(), 0);

    // Offered while the disk was there, answered once it was gone: nothing moves either.
    Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), false);
    plug();
    ASSERT_TRUE(waitUntil([&] { return !listed(*controller, QStringLiteral("stays.bin"))->isHalted(); }));
    Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), true);
    ASSERT_TRUE(waitUntil([&] { return alerts.size() == 2; }));
    EXPECT_EQ(alerts[1].message, QStringLiteral("Move 2 incomplete torrents to the incomplete folder?"));
    unplug();
    ASSERT_TRUE(waitUntil([&] { return listed(*controller, QStringLiteral("stays.bin"))->isHalted(); }));
    answer(0);
    ASSERT_TRUE(waitUntil([&] { return mover.movesRunning() == 0; }));

    EXPECT_EQ(torrent->downloadPath(), before);
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(readFile(QDir(before).filePath(QStringLiteral("elsewhere.bin"))).left(2 * 16384),
              elsewhere.content.left(2 * 16384));
    EXPECT_TRUE(mountPointIsEmpty()) << "written on the system disk";
}
