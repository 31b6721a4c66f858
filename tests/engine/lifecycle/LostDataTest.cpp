// Data that vanished under a complete torrent: a read for a peer finds the file deleted, so the torrent
// forgets every piece of it and stops with the reason instead of staying complete; resumed, it downloads them.
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

    // Served once, its descriptor stays cached: no later read may serve the deleted file's old bytes.
    PieceStore& store = torrent->storage()->store();
    const QString file = store.files().first().path;
    std::optional<QByteArray> served;
    const auto read = [&] {
        bool answered = false;
        store.readSpan(0, 0, 16384, [&](std::optional<QByteArray> data) { served = data; answered = true; });
        return waitUntil([&] { return answered; });
    };
    ASSERT_TRUE(read());
    EXPECT_EQ(served, t.content.left(16384));
    ASSERT_TRUE(QFile::remove(file) && read());
    EXPECT_FALSE(served.has_value());
    ASSERT_TRUE(waitUntil([&] { return torrent->isPaused(); }));
    EXPECT_EQ(torrent->errorText(), QStringLiteral("The file \"%1\" is gone.").arg(file));
    EXPECT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == 0; }));
    EXPECT_EQ(torrent->downloadedBlocks().count(), 0);
    EXPECT_EQ(torrent->downloaded(), 0u);

    torrent->retryDownload();
    for (quint32 piece = 0; piece < 2; ++piece)
        ASSERT_TRUE(feedPiece(*torrent, t, piece, "10.0.0.2:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete(); }));
    EXPECT_EQ(readFile(file), t.content);
}

}  // namespace
