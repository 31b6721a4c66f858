// Blocks that wait for a gap in their piece's running digest are let go when the piece is no longer
// wanted; the piece still verifies, read back from its file, once it is wanted and complete again.
#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/storage/PieceDigests.h"
#include "engine/torrent/FileLine.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

using DigestMemoryTest = LifecycleTest;

TEST_F(DigestMemoryTest, BlocksWaitingForAGapAreReleasedWhenTheirPieceIsSkipped)
{
    // Piece 0 lies in a.bin alone, piece 1 in b.bin alone.
    const RealTorrent t = RealTorrent::make("Skipped", {{{"a.bin"}, 4 * 16384}, {{"b.bin"}, 4 * 16384}}, 4 * 16384, 77);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent && torrent->storage());
    PieceStore::drainQueues();
    const qint64 before = PieceDigests::waitingBytesInAll();

    // Blocks 1 to 3 of each piece come ahead of block 0.
    for (quint32 piece = 0; piece < 2; ++piece)
        for (quint32 offset = 16384; offset < 4 * 16384; offset += 16384)
            ASSERT_TRUE(torrent->storage()->blockArrived(
                "10.0.0.1:1", piece, offset, t.content.mid(qint64(piece) * 4 * 16384 + offset, 16384)));
    PieceStore::drainQueues();
    ASSERT_EQ(PieceDigests::waitingBytesInAll() - before, 6 * 16384);

    const struct
    {
        const char* name;
        int aState;
        qint64 waiting;
    } steps[] = {{"a.bin skipped: piece 0 lets its blocks go", 1, 3 * 16384},
                 {"a.bin wanted again: nothing waits again", 0, 3 * 16384}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(torrent->files().at(0)->setCheckboxState(step.aState, true));
        PieceStore::drainQueues();
        EXPECT_EQ(PieceDigests::waitingBytesInAll() - before, step.waiting);
    }

    // Both pieces complete and verify: piece 1 from its digest, piece 0 read back.
    for (quint32 piece = 0; piece < 2; ++piece)
        ASSERT_TRUE(torrent->storage()->blockArrived("10.0.0.1:1", piece, 0,
                                                     t.content.mid(qint64(piece) * 4 * 16384, 16384)));
    ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == 2; }));
    EXPECT_TRUE(peers.failed.isEmpty());
    EXPECT_EQ(PieceDigests::waitingBytesInAll(), before);
}

}  // namespace
