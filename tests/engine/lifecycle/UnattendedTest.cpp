// What the engine does without being asked: torrent files dropped into the watched folder are added and
// their originals trashed (on by default), and a complete torrent stops seeding at the configured ratio,
// again after the ratio is raised.
#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/storage/SessionFolder.h"


using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class UnattendedTest : public LifecycleTest
{
protected:
    QString trashed(const QString& name) const { return dir.filePath("xdg/Trash/files/" + name); }
    // A torrent file of its own under `folder`; its metainfo.
    QByteArray writeTorrentFile(const QString& path, quint32 seed) const
    {
        const RealTorrent t = RealTorrent::make(QStringLiteral("T%1").arg(seed), {{{"f"}, 20000}}, 16384, seed);
        EXPECT_TRUE(writeFile(path, t.metainfo));
        return t.metainfo;
    }
};

TEST_F(UnattendedTest, TheWatchedFolderAddsEachSettledTorrentFileOnceAndTrashesIt)
{
    const QString watched = dir.filePath("watched");
    ASSERT_TRUE(QDir().mkpath(watched));
    Settings::instance().setValue(QStringLiteral("kAutodownload"), true);
    Settings::instance().setValue(QStringLiteral("kKoAutodownloadLocation"), watched);
    ASSERT_TRUE(Settings::instance().boolean(QStringLiteral("kDeleteOriginalTorrent"))) << "on by default";
    writeTorrentFile(watched + "/a.torrent", 1);
    writeTorrentFile(watched + "/b.txt", 2);
    ASSERT_TRUE(writeFile(watched + "/junk.torrent", "not bencoded"));

    session->twoSecondWork();
    EXPECT_TRUE(host.objects().isEmpty()) << "a file is taken once it did not change between two scans";
    session->twoSecondWork();
    ASSERT_EQ(host.objects().size(), 1);
    EXPECT_EQ(host.objects().first()->path(), QStringLiteral("T1"));
    EXPECT_EQ(host.objects().first()->downloadState(), TorrentLine::Downloading);
    EXPECT_FALSE(QFile::exists(watched + "/a.torrent"));
    EXPECT_TRUE(QFile::exists(trashed("a.torrent")));
    EXPECT_TRUE(QFile::exists(watched + "/junk.torrent")) << "a refused file stays";
    EXPECT_TRUE(QFile::exists(watched + "/b.txt"));

    // The same torrent dropped again is in the list already; the refused file is not tried again.
    writeTorrentFile(watched + "/again.torrent", 1);
    for (int scan = 0; scan < 3; ++scan)
        session->twoSecondWork();
    EXPECT_EQ(host.objects().size(), 1);

    Settings::instance().setValue(QStringLiteral("kAutodownload"), false);
    writeTorrentFile(watched + "/c.torrent", 3);
    for (int scan = 0; scan < 3; ++scan)
        session->twoSecondWork();
    EXPECT_EQ(host.objects().size(), 1) << "nothing is watched while the setting is off";
}

TEST_F(UnattendedTest, OriginalTorrentFilesGoToTheTrashOnlyWhenAskedAndAllowed)
{
    const struct
    {
        const char* name;
        bool setting;
        bool deleteOriginals;
        bool trashes;
        bool sessionFolderWritten = true;
    } cases[] = {{"asked and allowed", true, true, true},
                 {"asked, the setting off", false, true, false},
                 {"not asked", true, false, false},
                 {"its session folder not written", true, true, false, false}};
    quint32 seed = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Settings::instance().setValue(QStringLiteral("kDeleteOriginalTorrent"), c.setting);
        // A file where the session folders go: none can be made.
        const QString storage = SessionFolder::storageDirectory();
        if (!c.sessionFolderWritten) {
            PieceStore::drainQueues();  // the earlier cases' folders are still being written
            ASSERT_TRUE(QDir(storage).removeRecursively() && writeFile(storage));
        }
        const QString name = QStringLiteral("t%1.torrent").arg(seed);
        const QString path = dir.filePath(name);
        writeTorrentFile(path, seed++);
        const TorrentLinePtr line = TorrentLine::torrentLineForPath(path);
        ASSERT_TRUE(line);
        line->setDownloadPath(downloads);
        session->adder().addTorrentLines({line}, false, c.deleteOriginals, false);
        EXPECT_TRUE(line->isDownloading());
        EXPECT_EQ(QFile::exists(path), !c.trashes);
        EXPECT_EQ(QFile::exists(trashed(name)), c.trashes);
        if (!c.sessionFolderWritten) {
            ASSERT_TRUE(QFile::remove(storage));
        }
    }
}

TEST_F(UnattendedTest, SeedingEndsOnceTheRatioIsPassed)
{
    Settings& settings = Settings::instance();
    settings.setValue(QStringLiteral("kSeedingEnabled"), true);
    settings.setValue(QStringLiteral("kStopSeedingAtRatio"), true);
    settings.setValue(QStringLiteral("kStopSeedingRatio"), 2);
    const RealTorrent t = RealTorrent::make("Seeded", {{{"s.bin"}, 2 * 32768}}, 32768, 41);
    TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent);
    for (quint32 piece = 0; piece < 2; ++piece)
        ASSERT_TRUE(feedPiece(*torrent, t, piece, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete(); }));

    const struct
    {
        quint64 uploaded;
        int ratio;  // as the user set it
        bool seeding;
        int disconnects;  // the peers are dropped once each time seeding ends
    } steps[] = {{2 * 65536, 2, true, 0}, {2 * 65536 + 1, 2, false, 1}, {3 * 65536, 2, false, 1},
                 {3 * 65536, 4, true, 1}, {4 * 65536 + 1, 4, false, 2}};
    const int before = peers.disconnects;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.uploaded);
        settings.setValue(QStringLiteral("kStopSeedingRatio"), step.ratio);
        torrent->setBytesUploaded(step.uploaded);
        session->oneSecondWork();
        EXPECT_EQ(torrent->isSeeding(), step.seeding);
        EXPECT_EQ(torrent->hasStoppedSeeding(), !step.seeding);
        EXPECT_EQ(torrent->downloadState(), TorrentLine::Complete);
        EXPECT_EQ(peers.disconnects - before, step.disconnects);
    }
}

}  // namespace
