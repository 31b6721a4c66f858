// A piece counts only once its data reached the disk: when the file system refuses to sync a file, or the
// file went before its sync, the torrent pauses with the error and none of its pieces count.
#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/storage/HeldQueue.h"
#include "support/FailingSyncs.h"

#include <sys/syscall.h>

using namespace ombrelay;
using namespace ombrelay::test;

// Every fdatasync of this test program lands here (see FailingSyncs.h).
extern "C" int fdatasync(int fd)
{
    return ombrelay::test::refusesSync(fd) ? -1 : int(::syscall(SYS_fdatasync, fd));
}

namespace {

class DataSyncTest : public LifecycleTest
{
protected:
    void TearDown() override
    {
        failSyncs = false;
        LifecycleTest::TearDown();
    }
};

TEST_F(DataSyncTest, APieceWhoseFileCannotBeSyncedDoesNotCountAndPausesTheTorrent)
{
    const RealTorrent t = RealTorrent::make("Unsynced", {{{"u.bin"}, 3 * 16384}}, 16384, 21);
    TorrentLinePtr torrent = TorrentLine::torrentLineForData(t.metainfo);
    ASSERT_TRUE(torrent);
    const QString folder = dir.filePath("nosync");
    ASSERT_TRUE(QDir().mkpath(folder));
    torrent->setDownloadPath(folder);
    session->adder().addTorrentLines({torrent}, false, false, false);
    ASSERT_TRUE(torrent->storage());
    failSyncs = true;
    ASSERT_TRUE(feedPiece(*torrent, t, 0, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isPaused(); }));
    EXPECT_EQ(torrent->errorText(), QString::fromLocal8Bit(std::strerror(EIO)));
    spinFor(200);
    EXPECT_EQ(torrent->downloadedPieces().count(), 0);
    EXPECT_TRUE(peers.verified.isEmpty());
}

TEST_F(DataSyncTest, APieceWhoseFileWentBeforeItsSyncFailsWithoutTheFileBeingMadeAgain)
{
    enum class Change { Deleted, DeletedWithItsFolderAndHandle, CutShort };
    const struct
    {
        const char* name;
        Change change;
    } cases[] = {{"deleted, its handle still cached", Change::Deleted},
                 {"deleted with its folders, its handle dropped", Change::DeletedWithItsFolderAndHandle},
                 {"cut short", Change::CutShort}};
    quint32 seed = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QStringLiteral("Gone%1").arg(seed);
        const RealTorrent t = RealTorrent::make(name, {{{"sub", "x.bin"}, 2 * 16384}}, 2 * 16384, ++seed);
        TorrentLinePtr torrent = add(t.metainfo);
        ASSERT_TRUE(torrent && torrent->storage());
        PieceStore& store = torrent->storage()->store();
        const QString root = QDir(downloads).filePath(name);
        const QString file = root + "/sub/x.bin";

        // The piece is written and matches; its sync waits until the file has changed.
        std::atomic<bool> release{false};
        struct Release
        {
            std::atomic<bool>& flag;
            ~Release() { flag = true; }
        } released{release};
        holdQueue(PieceStore::syncQueue(), release);
        ASSERT_TRUE(feedPiece(*torrent, t, 0, "10.0.0.1:1"));
        ASSERT_TRUE(waitUntil([&] { return store.storedBlocks().count() == 2; }));
        for (int i = 0; i < PieceStore::kHashQueueCount; ++i)
            PieceStore::hashQueue(quint32(i)).drain();
        PieceStore::storeQueue().drain();

        switch (c.change) {
        case Change::Deleted:
            ASSERT_TRUE(QFile::remove(file));
            break;
        case Change::DeletedWithItsFolderAndHandle:
            store.purgeCachedDescriptors();
            ASSERT_TRUE(QDir(root).removeRecursively());
            break;
        case Change::CutShort:
            ASSERT_TRUE(QFile::resize(file, 1000));
            break;
        }
        release = true;

        ASSERT_TRUE(waitUntil([&] { return torrent->isPaused(); }));
        EXPECT_FALSE(torrent->errorText().isEmpty());
        PieceStore::drainQueues();
        EXPECT_TRUE(waitUntil([&] { return store.storedBlocks().count() == 0; })) << "the piece is forgotten";
        EXPECT_TRUE(waitUntil([&] { return torrent->downloaded() == 0u; })) << torrent->downloaded();
        EXPECT_EQ(torrent->downloadedPieces().count(), 0);
        EXPECT_TRUE(peers.verified.isEmpty());
        EXPECT_TRUE(host.notices.isEmpty());
        EXPECT_EQ(QFileInfo::exists(file), c.change == Change::CutShort) << "nothing is created";
        EXPECT_EQ(QFileInfo::exists(root), c.change != Change::DeletedWithItsFolderAndHandle);
    }
}

}  // namespace
