// Data that vanished under a complete torrent: a piece a peer asks for cannot be read, so every piece of
// the deleted file is forgotten by the torrent as well as by its store, and the torrent stops with the
// reason instead of staying complete without them; resumed, it downloads them again.
#include "engine/lifecycle/LifecycleFixture.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

using LostDataTest = LifecycleTest;

TEST_F(LostDataTest, AFileDeletedUnderACompleteTorrentStopsItAndIsDownloadedAgain)
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
    std::vector<std::optional<QByteArray>> served;
    const auto read = [&] {
        const size_t before = served.size();
        store.readSpan(0, 0, 16384, [&](std::optional<QByteArray> data) { served.push_back(std::move(data)); });
        return waitUntil([&] { return served.size() > before; });
    };
    ASSERT_TRUE(read());
    EXPECT_EQ(served.front(), t.content.left(16384));
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(read());
    EXPECT_FALSE(served.back().has_value());
    ASSERT_TRUE(waitUntil([&] { return torrent->isPaused(); })) << "state " << torrent->downloadState();
    EXPECT_EQ(torrent->errorText(), QStringLiteral("The file \"%1\" is gone.").arg(file));
    EXPECT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == 0; }));
    EXPECT_EQ(torrent->downloadedBlocks().count(), 0);
    EXPECT_EQ(torrent->downloaded(), 0u);

    // Resumed, it comes again whole.
    torrent->retryDownload();
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading);
    for (quint32 piece = 0; piece < 2; ++piece)
        ASSERT_TRUE(feedPiece(*torrent, t, piece, "10.0.0.2:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete(); }));
    EXPECT_EQ(readFile(file), t.content);
}

}  // namespace
