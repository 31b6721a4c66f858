// An unfinished torrent moved into another folder never replaces what is at the target, and one torrent
// moves once at a time. (Moves while a seeder feeds the torrent: tests/app/moves.)
#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/TorrentStorage.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class IncompleteMoveTest : public LifecycleTest
{
protected:
    // Moves and waits for the answer.
    QString relocate(TorrentLine& torrent, const QString& folder)
    {
        bool answered = false;
        QString error;
        session->lifecycle().relocate(torrent, folder, [&](const QString& e) {
            error = e;
            answered = true;
        });
        EXPECT_TRUE(session->lifecycle().isRelocating(torrent));
        EXPECT_TRUE(waitUntil([&] { return answered; }, 20000));
        return error;
    }
};

}  // namespace

TEST_F(IncompleteMoveTest, ATakenPlaceIsNeverReplacedAndTheTorrentStaysWhereItWas)
{
    const RealTorrent t = RealTorrent::make("Taken", {{{"only.bin"}, 70000}}, 16384, 7);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent);
    for (quint32 p = 0; p < 2; ++p)
        ASSERT_TRUE(feedPiece(*torrent, t, p, "10.0.0.1:1"));
    torrent->pauseDownload();
    const QString folder = dir.filePath("incomplete");
    QDir().mkpath(folder);
    ASSERT_TRUE(writeFile(QDir(folder).filePath("Taken"), "someone else's file"));

    const QString error = relocate(*torrent, folder);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(QDir(folder).filePath("Taken")), QByteArray("someone else's file"));
    EXPECT_EQ(torrent->downloadPath(), downloads);
    EXPECT_EQ(torrent->downloadState(), TorrentLine::Paused) << "a paused torrent stays paused";
    EXPECT_TRUE(QFileInfo::exists(torrent->fullPath()));

    // One move at a time per torrent.
    bool second = false;
    QString secondError;
    session->lifecycle().relocate(*torrent, dir.filePath("third"), [](const QString&) {});
    session->lifecycle().relocate(*torrent, dir.filePath("fourth"), [&](const QString& e) {
        secondError = e;
        second = true;
    });
    EXPECT_TRUE(second);
    EXPECT_FALSE(secondError.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !session->lifecycle().isRelocating(*torrent); }, 20000));
    EXPECT_EQ(torrent->downloadPath(), dir.filePath("third"));
}

TEST_F(IncompleteMoveTest, MovesRunOneAfterAnotherAndAResumeWhileWaitingIsUndoneUntilItsTurn)
{
    const QString folder = dir.filePath("incomplete");
    TorrentLineList torrents;
    for (int n = 0; n < 3; ++n) {
        const RealTorrent t = RealTorrent::make(QStringLiteral("Queued%1").arg(n), {{{"only.bin"}, 40000}}, 16384, 30 + n);
        torrents.append(add(t.metainfo));
        ASSERT_TRUE(torrents.last());
        ASSERT_TRUE(feedPiece(*torrents.last(), t, 0, "10.0.0.1:1"));
    }
    int moved = 0;
    for (const TorrentLinePtr& torrent : torrents)
        session->lifecycle().relocate(*torrent, folder, [&](const QString& error) { moved += error.isEmpty(); });
    for (const TorrentLinePtr& torrent : torrents)
        EXPECT_TRUE(torrent->isPaused()) << "nothing is written once a move is asked for";
    const int disconnects = peers.disconnects;
    torrents.last()->retryDownload();  // the user resumes the last one while it waits
    ASSERT_TRUE(waitUntil([&] { return moved == 3; }, 20000));
    EXPECT_EQ(peers.disconnects, disconnects + 1) << "stopped again before its content moved";
    for (const TorrentLinePtr& torrent : torrents) {
        EXPECT_EQ(torrent->downloadPath(), folder);
        EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading) << "its state comes back";
        EXPECT_TRUE(QFileInfo::exists(torrent->fullPath()));
    }
}

TEST_F(IncompleteMoveTest, OnlyARecordWithoutStoredBlocksMovesWithoutItsData)
{
    const struct
    {
        const char* name;
        quint32 piecesStored;
        bool moves;
    } cases[] = {
        {"Unstarted", 0, true},
        {"Unplugged", 2, false},  // its data is on a disk that is away
    };
    quint32 seed = 40;
    for (const auto& c : cases) {
        const RealTorrent t = RealTorrent::make(QString::fromLatin1(c.name), {{{"only.bin"}, 70000}}, 16384, seed++);
        const TorrentLinePtr torrent = add(t.metainfo);
        ASSERT_TRUE(torrent);
        for (quint32 p = 0; p < c.piecesStored; ++p)
            ASSERT_TRUE(feedPiece(*torrent, t, p, "10.0.0.1:1"));
        ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == c.piecesStored; })) << c.name;
        torrent->pauseDownload();
        QFile::remove(torrent->fullPath());
        const QString folder = dir.filePath(QStringLiteral("incomplete-%1").arg(QLatin1String(c.name)));

        EXPECT_EQ(relocate(*torrent, folder).isEmpty(), c.moves) << c.name;
        EXPECT_EQ(torrent->downloadPath(), c.moves ? folder : downloads) << c.name;
        EXPECT_EQ(torrent->storedBlocks().count() > 0, !c.moves) << c.name;
    }
}
