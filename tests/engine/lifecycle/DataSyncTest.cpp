// A piece counts only once its data reached the disk: when the file system refuses to sync a file, the
// torrent pauses with the error and none of its pieces count.
#include "engine/lifecycle/LifecycleFixture.h"
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

}  // namespace
