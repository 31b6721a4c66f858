#include "engine/storage/PieceStore.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/FileLine.h"
#include "engine/lifecycle/LifecycleFixture.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class PeerWireEntry : public LifecycleTest
{
};

}  // namespace

TEST_F(PeerWireEntry, ScriptedPeersDownloadAMultiFileTorrentByteIdenticalAndTheSpoilerIsBlamed)
{
    // Pieces of 32768 bytes over files of 20000, 30000 and 15000: blocks and pieces cross file ends.
    const RealTorrent t = RealTorrent::make("Album", {{{"a.bin"}, 20000}, {{"sub", "b.bin"}, 30000}, {{"c.bin"}, 15000}},
                                            32768, 7);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent && torrent->storage());
    ASSERT_EQ(torrent->pieceStore(), &torrent->storage()->store());
    ASSERT_EQ(torrent->downloadState(), TorrentLine::Downloading);

    // Piece 1 comes first spoiled from a sole source.
    ASSERT_TRUE(feedPiece(*torrent, t, 1, "10.0.0.9:6881", true));
    ASSERT_TRUE(waitUntil([&] { return !peers.failed.isEmpty(); }));
    EXPECT_EQ(peers.failed, QList<quint32>{1});
    EXPECT_EQ(peers.banned, QStringList{"10.0.0.9:6881"}) << "the sole source of a failed piece is banned";
    EXPECT_FALSE(torrent->downloadedPieces().containsIndex(1));
    EXPECT_EQ(torrent->downloadedBlocks().count(), 0) << "a failed piece's blocks are wanted again";
    EXPECT_EQ(torrent->downloaded(), 0u);

    for (quint32 piece = 0; piece < quint32(t.pieceCount()); ++piece)
        ASSERT_TRUE(feedPiece(*torrent, t, piece, "10.0.0.1:6881"));
    EXPECT_FALSE(torrent->storage()->blockArrived("10.0.0.1:6881", 0, 1, QByteArray(16384, 'x')))
        << "an offset that is not a block's is refused";
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete(); }, 10000));

    EXPECT_EQ(peers.banned, QStringList{"10.0.0.9:6881"});
    EXPECT_EQ(peers.verified.size(), t.pieceCount());
    const QString root = QDir(downloads).filePath("Album");
    EXPECT_EQ(readFile(root + "/a.bin"), t.content.mid(0, 20000));
    EXPECT_EQ(readFile(root + "/sub/b.bin"), t.content.mid(20000, 30000));
    EXPECT_EQ(readFile(root + "/c.bin"), t.content.mid(50000, 15000));

    // Completion ran once: one notice with the final path, one "completed" event.
    ASSERT_TRUE(waitUntil([&] {
        return !host.notices.isEmpty() && trackers.eventsFor(torrent.get()).count(TrackerEvent::Completed) >= 1;
    }));
    spinFor(200); // time for a second completion, which must not come
    EXPECT_EQ(host.notices, QStringList{root});
    EXPECT_EQ(trackers.eventsFor(torrent.get()).count(TrackerEvent::Completed), 1);
    EXPECT_FALSE(torrent->storage()->blockArrived("10.0.0.1:6881", 0, 0, t.content.mid(0, 16384)))
        << "a verified piece is never written again";
}

TEST_F(PeerWireEntry, APeerInThreeFailedPiecesIsBannedItsPartnersAreNot)
{
    const RealTorrent t = RealTorrent::make("Data", {{{"d.bin"}, 4 * 32768}}, 32768, 3);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent && torrent->storage());
    // Each piece: its first block good from a different partner, its second spoiled by the same peer,
    // connected from another port each time.
    for (quint32 piece = 0; piece < 3; ++piece) {
        const QByteArray bytes = t.content.mid(qint64(piece) * 32768, 32768);
        QByteArray spoiled = bytes.mid(16384);
        spoiled[0] = char(spoiled[0] ^ 1);
        const QString partner = QStringLiteral("10.0.1.%1:1").arg(piece + 1);
        const QString spoiler = QStringLiteral("10.0.0.66:%1").arg(piece + 1);
        ASSERT_TRUE(torrent->storage()->blockArrived(partner, piece, 0, bytes.left(16384)));
        ASSERT_TRUE(torrent->storage()->blockArrived(spoiler, piece, 16384, spoiled));
        ASSERT_TRUE(waitUntil([&] { return peers.failed.size() == int(piece) + 1; }));
        EXPECT_EQ(peers.banned.contains(spoiler), piece == 2) << piece;
    }
    EXPECT_EQ(torrent->storage()->failedPieces("10.0.0.66:1"), 3);
    EXPECT_EQ(peers.banned, QStringList{"10.0.0.66:3"});
}

TEST_F(PeerWireEntry, OnlyTheSendersOfAFailedPiecesBlocksSinceTheStartAreBlamed)
{
    // Two pieces of two blocks in one file. Before its spoiled copy comes, piece 0 already held a block:
    // one that vanished with its file, or one from before a restart whose bytes never reached the disk.
    enum class Before { BlockLostWithItsFile, BlockStoredBeforeARestart };
    const struct
    {
        const char* name;
        Before before;
        QStringList banned;
    } cases[] = {{"a lost block's sender is not blamed", Before::BlockLostWithItsFile, {"10.0.0.2:1"}},
                 {"bytes from before a restart blame nobody", Before::BlockStoredBeforeARestart, {}}};
    quint32 seed = 60;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peers.banned.clear();
        peers.failed.clear();
        ++seed;
        const RealTorrent t = RealTorrent::make(QStringLiteral("Blame%1").arg(seed), {{{"b.bin"}, 4 * 16384}},
                                                2 * 16384, seed);
        const TorrentLinePtr torrent = add(t.metainfo);
        ASSERT_TRUE(torrent && torrent->storage());
        const QString file = torrent->storage()->store().files().first().path;
        ASSERT_TRUE(torrent->storage()->blockArrived("10.0.0.1:1", 0, 0, t.content.left(16384)));
        PieceStore::drainQueues();
        ASSERT_EQ(torrent->storage()->store().storedBlocks().count(), 1);

        QByteArray spoiled = t.content.mid(0, 2 * 16384);
        switch (c.before) {
        case Before::BlockLostWithItsFile:
            // The next write into the deleted file forgets piece 0 and starts the file afresh.
            ASSERT_TRUE(QFile::remove(file));
            ASSERT_TRUE(torrent->storage()->blockArrived("10.0.0.3:1", 1, 0, t.content.mid(2 * 16384, 16384)));
            ASSERT_TRUE(waitUntil([&] { return !torrent->downloadedBlocks().containsIndex(0); }));
            spoiled[100] = char(spoiled[100] ^ 1);
            ASSERT_TRUE(torrent->storage()->blockArrived("10.0.0.2:1", 0, 0, spoiled.left(16384)));
            break;
        case Before::BlockStoredBeforeARestart: {
            // The block counts as stored, but a crash left zeros in its place.
            const QString sessionFolder = torrent->storage()->sessionFolder();
            torrent->dropStorage();
            ASSERT_TRUE(writeFile(file, QByteArray(t.content.size(), '\0')));
            torrent->setStorage(std::make_unique<TorrentStorage>(*torrent, sessionFolder));
            break;
        }
        }
        ASSERT_TRUE(torrent->storage()->blockArrived("10.0.0.2:1", 0, 16384, spoiled.mid(16384)));
        ASSERT_TRUE(waitUntil([&] { return peers.failed.contains(0u); }));
        PieceStore::drainQueues();
        waitUntil([&] { return peers.banned == c.banned; });
        spinFor(50); // time for another ban, which must not come
        EXPECT_EQ(peers.banned, c.banned);
        EXPECT_EQ(torrent->storage()->failedPieces("10.0.0.1:1"), 0);
    }
}
