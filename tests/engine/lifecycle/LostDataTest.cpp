// Data that vanished under a complete torrent: the piece a peer asked for is forgotten by the torrent as
// well as by its store, so the torrent downloads it again instead of staying complete without it.
#include "engine/lifecycle/LifecycleFixture.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

using LostDataTest = LifecycleTest;

TEST_F(LostDataTest, APieceThatCannotBeReadForAPeerIsDownloadedAgain)
{
    const RealTorrent t = RealTorrent::make("Vanishing", {{{"v.bin"}, 2 * 32768}}, 32768, 31);
    TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent && torrent->storage());
    for (quint32 piece = 0; piece < 2; ++piece)
        ASSERT_TRUE(feedPiece(*torrent, t, piece, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete(); }));

    PieceStore& store = torrent->storage()->store();
    store.purgeCachedDescriptors();
    ASSERT_TRUE(QFile::remove(store.files().first().path));
    bool answered = false;
    std::optional<QByteArray> served;
    store.readSpan(0, 0, 16384, [&](std::optional<QByteArray> data) {
        answered = true;
        served = std::move(data);
    });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_FALSE(served.has_value());
    ASSERT_TRUE(waitUntil([&] { return torrent->downloadState() == TorrentLine::Downloading; }));
    EXPECT_FALSE(torrent->downloadedPieces().containsIndex(0));
    EXPECT_FALSE(torrent->downloadedBlocks().containsIndex(0));
    EXPECT_EQ(torrent->downloaded(), 32768u);

    // It comes again whole.
    ASSERT_TRUE(feedPiece(*torrent, t, 0, "10.0.0.2:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().containsIndex(0); }));
    EXPECT_EQ(readFile(store.files().first().path).left(32768), t.content.left(32768));
}

}  // namespace
