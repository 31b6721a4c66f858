// An unfinished torrent moved into another folder: it writes nothing meanwhile, gets its state back,
// never replaces what is at the target, and completes from its new place.
#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/TorrentStorage.h"
#include "kit/PropertyList.h"

#include <sys/stat.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class IncompleteMoveTest : public LifecycleTest
{
protected:
    static quint64 deviceOf(const QString& path)
    {
        struct stat st;
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_dev) : 0;
    }
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

    const QList<FileSpec> album = {{{"cd1", "a.bin"}, 100000}, {{"b.bin"}, 60000}};
};

}  // namespace

TEST_F(IncompleteMoveTest, ADownloadMovedOnOneDiskOrAcrossTwoCompletesFromItsNewPlace)
{
    QTemporaryDir otherDisk(QStringLiteral("/dev/shm/ombrelay-move-XXXXXX"));
    const struct
    {
        const char* name;
        QString folder;
        bool otherDisk;
    } cases[] = {{"one disk", dir.filePath("incomplete"), false},
                 {"two disks", otherDisk.filePath("incomplete"), true}};
    quint32 seed = 40;
    for (const auto& c : cases) {
        if (c.otherDisk && (!otherDisk.isValid() || deviceOf(otherDisk.path()) == deviceOf(downloads))) {
            std::cout << "[ SKIPPED  ] " << c.name << ": no second file system\n";
            continue;
        }
        const RealTorrent t = RealTorrent::make(QStringLiteral("Album%1").arg(seed), album, 16384, seed);
        ++seed;
        const TorrentLinePtr torrent = add(t.metainfo);
        ASSERT_TRUE(torrent);
        ASSERT_EQ(torrent->downloadState(), TorrentLine::Downloading) << c.name;
        for (quint32 p = 0; p < 4; ++p)
            ASSERT_TRUE(feedPiece(*torrent, t, p, "10.0.0.1:1"));
        const QString sessionFolder = session->lifecycle().sessionPath(*torrent);

        EXPECT_EQ(relocate(*torrent, c.folder), QString()) << c.name;
        EXPECT_EQ(torrent->downloadPath(), c.folder) << c.name;
        EXPECT_TRUE(torrent->shouldRelocateOnCompletion()) << c.name;
        EXPECT_EQ(torrent->downloadState(), TorrentLine::Downloading) << c.name << ": its state comes back";
        SessionLifecycle::cleanupQueue().drain();  // a copy's source goes in the background
        EXPECT_FALSE(QFileInfo::exists(QDir(downloads).filePath(torrent->path()))) << c.name;
        const QVariantMap record = PropertyList::read(sessionFolder + "/torrent.plist", 1 << 20).toMap();
        EXPECT_EQ(record.value("downloadPath").toString(), c.folder) << c.name;

        for (quint32 p = 4; p < t.pieceCount(); ++p)
            ASSERT_TRUE(feedPiece(*torrent, t, p, "10.0.0.1:1"));
        ASSERT_TRUE(waitUntil([&] { return torrent->isComplete() && !session->lifecycle().isRelocating(*torrent); }, 20000))
            << c.name;
        EXPECT_EQ(torrent->downloadedPieces().count(), t.pieceCount()) << c.name;
        EXPECT_EQ(readFile(QDir(downloads).filePath(torrent->path() + "/cd1/a.bin")), t.content.left(100000)) << c.name;
        EXPECT_EQ(readFile(QDir(downloads).filePath(torrent->path() + "/b.bin")), t.content.mid(100000)) << c.name;
    }
}

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
