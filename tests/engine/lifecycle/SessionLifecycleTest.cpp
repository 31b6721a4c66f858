#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/lifecycle/TmpfsMount.h"
#include "engine/peers/PeerTestSupport.h"
#include "engine/storage/ContentTrash.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/SessionFolder.h"
#include "engine/storage/StateFileWriter.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/FileLine.h"
#include "engine/net/AverageBandwidth.h"
#include "kit/PropertyList.h"

#include <QDirIterator>
#include <QScopeGuard>
#include <cstring>
#include <sys/stat.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class SessionLifecycleTest : public LifecycleTest
{
protected:
    // Quits (saving everything) and starts again with an empty list and a fresh session.
    void restart()
    {
        session->saveAtTermination();
        for (const TorrentLinePtr& line : EngineHost::instance().objects())
            line->dropStorage();
        session.reset();
        freshHost = std::make_unique<CountingHost>();
        EngineHost::install(freshHost.get());
        session = std::make_unique<DiskSession>(volumes());
    }
    TorrentLineList loadAll()
    {
        bool done = false;
        QObject::connect(&session->loader(), &SessionLoader::finished, [&] { done = true; });
        session->loader().loadTorrentsFromDisk();
        EXPECT_TRUE(waitUntil([&] { return done; }, 20000));
        return EngineHost::instance().objects();
    }
    QStringList trashed() const
    {
        QStringList names;
        QDirIterator it(dir.filePath("xdg/Trash/files"), QDir::AllEntries | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            names.append(QDir(dir.filePath("xdg/Trash/files")).relativeFilePath(it.next()));
        names.sort();
        return names;
    }
    void TearDown() override
    {
        if (freshHost)
            removeEveryDownload(*freshHost);
        LifecycleTest::TearDown();
    }
    std::unique_ptr<CountingHost> freshHost;
};

const QList<FileSpec> kThreeFiles = {{{"one.bin"}, 40000}, {{"two.bin"}, 30000}, {{"three.bin"}, 20000}};

}  // namespace

TEST_F(SessionLifecycleTest, RoundTripKeepsStateLimitsCheckboxesAndBitfields)
{
    const RealTorrent t = RealTorrent::make("Three", kThreeFiles, 16384, 11);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent);
    const QString folder = session->lifecycle().sessionPath(*torrent);
    EXPECT_TRUE(QFileInfo::exists(folder + "/torrent")) << "the folder exists once the torrent is added";
    ASSERT_TRUE(torrent->files().at(1)->setCheckboxState(OBLine::Skipped, true));
    torrent->setCustomDownloadLimit(40);
    torrent->setCustomUploadLimit(-1);
    ASSERT_TRUE(feedPiece(*torrent, t, 0, "10.0.0.1:1"));
    ASSERT_TRUE(feedPiece(*torrent, t, 1, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == 2; }));
    torrent->pauseDownload();
    torrent->setBytesUploaded(123456);
    const QByteArray pieces = torrent->downloadedPieces().bitfield();
    const QByteArray blocks = torrent->storedBlocks().bitfield();

    restart();
    const TorrentLineList loaded = loadAll();
    ASSERT_EQ(loaded.size(), 1);
    const TorrentLinePtr back = loaded.first();
    EXPECT_EQ(back->downloadState(), TorrentLine::Paused);
    EXPECT_EQ(back->customDownloadLimit(), 40);
    EXPECT_EQ(back->customUploadLimit(), -1);
    EXPECT_EQ(back->bytesUploaded(), 123456u);
    QList<bool> wanted;
    for (const FileLine* file : back->files())
        wanted.append(file->shouldDownload());
    EXPECT_EQ(wanted, (QList<bool>{true, false, true}));
    EXPECT_EQ(back->downloadedPieces().bitfield(), pieces);
    EXPECT_EQ(back->storedBlocks().bitfield(), blocks);
    EXPECT_EQ(session->lifecycle().sessionPath(*back), folder) << "a loaded torrent keeps its folder";
    const QVariantMap state = PropertyList::read(folder + "/state.plist", 1 << 20).toMap();
    EXPECT_EQ(state.value("checkboxStates").toList(), (QVariantList{true, false, true}));
}

TEST_F(SessionLifecycleTest, StoredBitfieldsOfAnyLengthComeBackWithTheirPieces)
{
    // Sets (blocks, pieces) stored as they grew with the blocks, and bytes or bits past the torrent's end:
    // blocks 0-3, pieces 0 and 1 of 40 blocks and 20 pieces.
    const QPair<QByteArray, QByteArray> cases[] = {{"f0", "c0"}, {"f000000000000000", "c000000000"}, {"f000000000", "c0000f"}};
    QStringList folders;
    for (quint32 seed = 60; seed < 63; ++seed) {
        const RealTorrent t = RealTorrent::make(QStringLiteral("Grown%1").arg(seed), {{{"g.bin"}, 20 * 32768}}, 32768, seed);
        const TorrentLinePtr torrent = add(t.metainfo);
        ASSERT_TRUE(torrent && feedPiece(*torrent, t, 0, "10.0.0.1:1") && feedPiece(*torrent, t, 1, "10.0.0.1:1"));
        ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == 2; }));
        torrent->pauseDownload();
        folders.append(session->lifecycle().sessionPath(*torrent));
    }
    restart();
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(writeFile(folders[k] + "/downloadedBlocks.bitfield", QByteArray::fromHex(cases[k].first)));
        ASSERT_TRUE(writeFile(folders[k] + "/downloadedPieces.bitfield", QByteArray::fromHex(cases[k].second)));
    }
    const TorrentLineList loaded = loadAll();
    ASSERT_EQ(loaded.size(), 3);
    for (const TorrentLinePtr& back : loaded) {
        SCOPED_TRACE(back->path().toStdString());
        EXPECT_EQ(back->downloadedPieces().bitfield().toHex(), "c00000");
        EXPECT_EQ(back->storedBlocks().bitfield().toHex(), "f000000000");
        EXPECT_EQ(back->downloaded(), 4u * 16384) << "not started again from nothing";
    }
}

TEST_F(SessionLifecycleTest, AQuitWritesOnlyTheStateFilesAndBitfieldsThatChangedAndWaitsForThem)
{
    // Four stored torrents (three downloading, one waiting), one of them with a verified piece.
    QList<RealTorrent> contents;
    for (quint32 i = 0; i < 4; ++i) {
        contents.append(RealTorrent::make(QString("Q%1").arg(i), {{{"q.bin"}, 3 * 16384}}, 16384, 40 + i));
        ASSERT_TRUE(add(contents.last().metainfo));
    }
    ASSERT_TRUE(feedPiece(*host.objects().at(0), contents.at(0), 0, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return host.objects().at(0)->downloadedPieces().count() == 1; }));
    restart();
    const TorrentLineList loaded = loadAll();
    ASSERT_EQ(loaded.size(), 4);
    PieceStore::drainQueues();
    StateFileWriter::queue().drain();

    const auto byName = [&](const QString& name) {
        for (const TorrentLinePtr& torrent : loaded)
            if (torrent->path() == name)
                return torrent;
        return TorrentLinePtr();
    };
    const QStringList files{"state.plist", "downloadedBlocks.bitfield", "downloadedPieces.bitfield"};
    const auto inodes = [&] {
        QMap<QString, ino_t> numbers;
        for (const TorrentLinePtr& torrent : loaded)
            for (const QString& file : files) {
                struct stat st = {};
                const QString path = SessionFolder(session->lifecycle().sessionPath(*torrent)).filePath(file);
                numbers.insert(torrent->path() + "/" + file, ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0);
            }
        return numbers;
    };
    const QMap<QString, ino_t> before = inodes();

    const TorrentLinePtr limited = byName("Q1");
    const TorrentLinePtr fed = byName("Q2");
    ASSERT_TRUE(limited && fed && fed->isDownloading());
    limited->setCustomUploadLimit(7);
    ASSERT_TRUE(feedPiece(*fed, contents.at(2), 1, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return fed->downloadedPieces().count() == 1; }));
    session->saveAtTermination();

    const QMap<QString, ino_t> after = inodes();
    const struct
    {
        const char* file;
        bool rewritten;
        bool exists = true;  // a torrent with no piece needs no bitfield file
    } expected[] = {
        {"Q0/state.plist", false},
        {"Q0/downloadedBlocks.bitfield", false},
        {"Q0/downloadedPieces.bitfield", false},
        {"Q1/state.plist", true},
        {"Q1/downloadedBlocks.bitfield", false, false},
        {"Q2/state.plist", false},
        {"Q2/downloadedBlocks.bitfield", true},
        {"Q2/downloadedPieces.bitfield", true},
        {"Q3/state.plist", false},
        {"Q3/downloadedPieces.bitfield", false, false},
    };
    for (const auto& e : expected) {
        ASSERT_EQ(after.value(e.file) != ino_t(0), e.exists) << e.file << " exists";
        EXPECT_EQ(after.value(e.file) != before.value(e.file), e.rewritten) << e.file;
    }
    // What changed is in the files once the quit returns.
    const QVariantMap state =
        PropertyList::read(SessionFolder(session->lifecycle().sessionPath(*limited)).statePlistPath(), 1 << 20).toMap();
    EXPECT_EQ(state.value("customUploadLimit").toLongLong(), 7);
    const QByteArray pieces = readFile(
        SessionFolder(session->lifecycle().sessionPath(*fed)).filePath("downloadedPieces.bitfield"));
    EXPECT_EQ(pieces, fed->downloadedPieces().bitfield());
}

TEST_F(SessionLifecycleTest, LoadsInPassesOfTwentySkippingDamagedAndDuplicateFolders)
{
    for (int i = 0; i < 40; ++i) {
        const RealTorrent t = RealTorrent::make(QString("T%1").arg(i), {{{"f"}, 1000}}, 16384, quint32(i));
        ASSERT_TRUE(add(t.metainfo));
    }
    restart();
    const QDir storage(SessionFolder::storageDirectory());
    QStringList names = SessionFolder::storedFolderNames();
    ASSERT_EQ(names.size(), 40);
    // A damaged metainfo, and a second folder for a torrent that is there already.
    ASSERT_TRUE(writeFile(storage.filePath(names.at(3) + "/torrent"), "d4:infoi"));
    const QString copy = storage.filePath("9999999999.000000-" + names.at(7).section('-', 1));
    ASSERT_TRUE(QDir().mkpath(copy));
    for (const QString& file : QDir(storage.filePath(names.at(7))).entryList(QDir::Files))
        QFile::copy(storage.filePath(names.at(7) + "/" + file), copy + "/" + file);

    // The watch folder, scanned from the start, holds a stored torrent that a later pass loads.
    const QString watched = dir.filePath("watched");
    ASSERT_TRUE(writeFile(watched + "/t30.torrent", RealTorrent::make("T30", {{{"f"}, 1000}}, 16384, 30).metainfo));
    Settings::instance().setValue(QStringLiteral("kAutodownload"), true);
    Settings::instance().setValue(QStringLiteral("kKoAutodownloadLocation"), watched);

    QList<int> passes;
    QObject::connect(&session->loader(), &SessionLoader::passLoaded, [&](int count) {
        passes.append(count);
        if (passes.size() == 1) {
            session->twoSecondWork();
            session->twoSecondWork();  // a file is taken once it did not change between two scans
        }
    });
    const TorrentLineList loaded = loadAll();
    EXPECT_EQ(passes, (QList<int>{19, 20, 0})) << "41 folders: 20, 20 and 1 per pass";
    EXPECT_EQ(loaded.size(), 39);
    EXPECT_TRUE(QFileInfo::exists(storage.filePath(names.at(3)))) << "a damaged folder stays on disk";
    QSet<QByteArray> hashes;
    for (const TorrentLinePtr& line : loaded)
        hashes.insert(line->infoHash());
    EXPECT_EQ(hashes.size(), 39) << "no torrent is listed twice";
    EXPECT_EQ(SessionFolder::storedFolderNames().size(), 41) << "nor stored twice";
}

TEST_F(SessionLifecycleTest, OlderFormMigratesItsMetainfo)
{
    const RealTorrent t = RealTorrent::make("Old", {{{"f"}, 50000}}, 16384, 5);
    const QDateTime created = QDateTime::fromMSecsSinceEpoch(1291234567500, Qt::UTC);
    const TorrentLinePtr probe = TorrentLine::torrentLineForData(t.metainfo);
    ASSERT_TRUE(probe);
    const SessionFolder folder(created, probe->infoHash());
    ASSERT_TRUE(folder.create());
    QVariantMap torrentPlist{{"creationDate", created}, {"downloadPath", downloads},
                             {"shouldRelocateOnCompletion", "0"}, {"torrentData", t.metainfo}};
    ASSERT_TRUE(PropertyList::write(folder.filePath("torrent.plist"), torrentPlist));
    QVariantMap statePlist{{"downloadState", 2}, {"downloadedBlocks", QByteArray::fromHex("00")},
                           {"downloadedPieces", QByteArray::fromHex("00")}, {"bytesUploaded", 77}};
    ASSERT_TRUE(PropertyList::write(folder.filePath("state.plist"), statePlist));
    // Two known peers, and one unusable entry (port 0) left out.
    ASSERT_TRUE(writeFile(folder.filePath("peers.bitfield"), QByteArray::fromHex("0102030418E1" "0A000001C8D5" "050505050000")));

    const TorrentLineList loaded = loadAll();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded.first()->downloadState(), TorrentLine::Paused);
    EXPECT_EQ(loaded.first()->bytesUploaded(), 77u);
    EXPECT_EQ(readFile(folder.filePath("torrent")), t.metainfo) << "the metainfo moved to \"torrent\"";
    EXPECT_FALSE(QFile::exists(folder.filePath("peers.bitfield")));
    PeersDatabase::fileQueue().drain();
    PeersDatabase peers(folder.filePath("peers.db"));
    ASSERT_TRUE(waitUntil([&] { return peers.hasStoredRows(); }));
    EXPECT_EQ(peers.numberOfPeers(), 2);
    EXPECT_FALSE(peers.insertPeer(*PeerAddress::fromString(u"1.2.3.4:6369"), PeersDatabase::Activity::Inactive))
        << "1.2.3.4:6369 is known";
}

TEST_F(SessionLifecycleTest, DeletedContentStartsAgainFromNothing)
{
    const RealTorrent t = RealTorrent::make("Gone", {{{"g.bin"}, 20000}}, 16384, 9);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent);
    for (quint32 p = 0; p < 2; ++p)
        ASSERT_TRUE(feedPiece(*torrent, t, p, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete(); }));
    restart();
    ASSERT_TRUE(QFile::remove(QDir(downloads).filePath("Gone")));
    const TorrentLineList loaded = loadAll();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded.first()->downloadState(), TorrentLine::Downloading);
    EXPECT_EQ(loaded.first()->downloadedPieces().count(), 0);
    EXPECT_EQ(loaded.first()->bytesUploaded(), 0u);
}

TEST_F(SessionLifecycleTest, ATorrentWhoseDiskIsAwayStartsHaltedNamesItAndWritesNothingThere)
{
    // An unmounted disk leaves its mount point behind as an empty folder of the system disk.
    const QString disk = dir.filePath("disk");
    ASSERT_TRUE(QDir().mkpath(disk));
    useMounts({"/", disk});
    // Added while the disk is there, to a folder written as the registered default is: with a slash.
    const TorrentLinePtr first = add(RealTorrent::make("First", {{{"f.bin"}, 20000}}, 16384, 31).metainfo, disk + "/Downloads/");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->downloadState(), TorrentLine::Downloading);
    useMounts({"/"});
    restart();
    const TorrentLineList loaded = loadAll();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0]->downloadState(), TorrentLine::Halted) << "the start finds the disk away";
    EXPECT_EQ(loaded[0]->stateDescription(), "External disk \"disk\" is not attached");

    // Added while the disk is away: known by the mount recorded for a folder above, or by the folders
    // removable disks are mounted on. (Halted torrents count in the queue: it is off here.)
    Settings::instance().setValue(QStringLiteral("kDownloadQueueEnabled"), false);
    // The folder, its disk's name, and whether a block arrives (its file must not appear under the empty
    // mount point).
    const std::tuple<QString, QString, bool> cases[] = {
        {disk + "/Other", "disk", true},
        {"/run/media/someone/Stick/Downloads", "Stick", false},
        {"/mnt/Backup/Downloads/", "Backup", false},
    };
    quint32 seed = 32;
    for (const auto& [folder, name, feed] : cases) {
        SCOPED_TRACE(folder.toStdString());
        const RealTorrent t = RealTorrent::make(QStringLiteral("Away%1").arg(seed), {{{"a.bin"}, 20000}}, 16384, seed);
        ++seed;
        const TorrentLinePtr torrent = add(t.metainfo, folder);
        ASSERT_TRUE(torrent);
        EXPECT_EQ(torrent->downloadState(), TorrentLine::Halted);
        EXPECT_EQ(torrent->resumeState(), TorrentLine::Downloading);
        EXPECT_EQ(torrent->stateDescription(), "External disk \"" + name + "\" is not attached");
        if (feed)
            feedPiece(*torrent, t, 0, "10.0.0.1:1");
    }
    PieceStore::drainQueues();
    EXPECT_TRUE(QDir(disk).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) << "written on the system disk";

    restart();
    const TorrentLineList again = loadAll();
    ASSERT_EQ(again.size(), 4);
    for (const TorrentLinePtr& torrent : again)
        EXPECT_EQ(torrent->downloadState(), TorrentLine::Halted) << qPrintable(torrent->downloadPath());
}

TEST_F(SessionLifecycleTest, RemovalTrashesOnlyTheIncompleteTorrentsOwnFiles)
{
    const QString bystander = QDir(downloads).filePath("mine.txt");
    ASSERT_TRUE(writeFile(bystander, "not the torrent's"));

    const RealTorrent t = RealTorrent::make("Album", {{{"cd1", "a.bin"}, 40000}, {{"b.bin"}, 30000}}, 16384, 2);
    const TorrentLinePtr incomplete = add(t.metainfo);
    ASSERT_TRUE(incomplete);
    ASSERT_TRUE(feedPiece(*incomplete, t, 0, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return incomplete->downloadedPieces().count() == 1; }));
    const QString folder = session->lifecycle().sessionPath(*incomplete);

    const RealTorrent c = RealTorrent::make("Done", {{{"d.bin"}, 10000}}, 16384, 4);
    const TorrentLinePtr complete = add(c.metainfo);
    ASSERT_TRUE(complete);
    ASSERT_TRUE(feedPiece(*complete, c, 0, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return complete->isComplete(); }));
    const QString completeFolder = session->lifecycle().sessionPath(*complete);

    host.removeDownloads({incomplete, complete});
    SessionLifecycle::cleanupQueue().drain();
    EXPECT_EQ(trashed(), (QStringList{"Album", "Album/cd1", "Album/cd1/a.bin"}))
        << "its folder whole, with its files and nothing else";
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(QFileInfo::exists(completeFolder));
    EXPECT_EQ(readFile(QDir(downloads).filePath("Done")), c.content) << "complete content stays";
    EXPECT_TRUE(QFileInfo::exists(bystander));
    EXPECT_TRUE(QFileInfo(downloads).isDir());
    restart();
    EXPECT_TRUE(loadAll().isEmpty()) << "a removed torrent never comes back";
}

TEST_F(SessionLifecycleTest, TrashNeverTakesTheDownloadFolderOrAnythingOutsideIt)
{
    // The download folder is empty, so nothing but the path checks keeps it; a sibling shares its name's start.
    const QString outside = dir.filePath("outside.bin");
    const QString sibling = downloads + "-old/kept.bin";
    ASSERT_TRUE(writeFile(outside));
    ASSERT_TRUE(writeFile(sibling));
    const struct
    {
        const char* name;
        QStringList files;
        QStringList folders;
    } cases[] = {
        {"the folder itself", {}, {downloads, downloads + "/", downloads + "/."}},
        {"climbing out", {downloads + "/x/../../outside.bin"}, {downloads + "/x/.."}},
        {"empty names", {QString(), downloads + "/"}, {QString()}},
        {"a sibling folder", {sibling}, {downloads + "-old"}},
    };
    for (const auto& c : cases) {
        ContentTrash trash{downloads, c.files, c.folders, c.folders.value(0)};  // its first folder as the content's
        EXPECT_TRUE(trash.moveToTrash().isEmpty()) << c.name;
    }
    EXPECT_TRUE(QFileInfo(downloads).isDir());
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_TRUE(QFileInfo::exists(sibling));
    EXPECT_TRUE(trashed().isEmpty());
}

TEST_F(SessionLifecycleTest, AWriteThatCannotSucceedPausesWithAnErrorText)
{
    const QString blocker = dir.filePath("blocker");
    ASSERT_TRUE(writeFile(blocker));
    const RealTorrent t = RealTorrent::make("Stuck", {{{"s.bin"}, 5 * 16384}}, 16384, 6);
    TorrentLinePtr torrent = TorrentLine::torrentLineForData(t.metainfo);
    ASSERT_TRUE(torrent);
    torrent->setDownloadPath(blocker + "/sub");  // a folder under a regular file
    session->adder().addTorrentLines({torrent}, false, false, false);
    ASSERT_TRUE(torrent->storage());
    for (quint32 p = 0; p < 3; ++p)
        feedPiece(*torrent, t, p, "10.0.0.1:1");
    ASSERT_TRUE(waitUntil([&] { return torrent->isPaused(); }));
    EXPECT_FALSE(torrent->errorText().isEmpty());
    EXPECT_EQ(torrent->stateDescription(), torrent->errorText());
    EXPECT_TRUE(waitUntil([&] { return torrent->downloadedBlocks().count() == 0; }))
        << "blocks that were not written are not counted";
    EXPECT_TRUE(torrent->isPaused());
}

TEST_F(SessionLifecycleTest, AReadOnlyDownloadFolderPausesWithAnErrorWithinAFewBlocks)
{
    const QString readOnly = dir.filePath("readonly");
    TmpfsMount mount(readOnly, "size=64k,mode=0755", true);
    if (!mount.isMounted())
        GTEST_SKIP() << "cannot mount a read-only file system here";
    // A folder torrent's folder cannot be made there either: the cause is the file system's, not a
    // missing folder.
    const struct
    {
        const char* name;
        QList<FileSpec> files;
    } cases[] = {{"one file", {{{"l.bin"}, 8 * 16384}}}, {"a folder", {{{"sub", "l.bin"}, 8 * 16384}}}};
    quint32 seed = 12;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const quint32 content = seed++;
        const RealTorrent t = RealTorrent::make(QStringLiteral("Locked%1").arg(content), c.files, 16384, content);
        TorrentLinePtr torrent = TorrentLine::torrentLineForData(t.metainfo);
        ASSERT_TRUE(torrent);
        torrent->setDownloadPath(readOnly);
        session->adder().addTorrentLines({torrent}, false, false, false);
        ASSERT_TRUE(torrent->storage());
        int fed = 0;
        for (quint32 p = 0; p < 8 && !torrent->isPaused(); ++p) {
            ASSERT_TRUE(feedPiece(*torrent, t, p, "10.0.0.1:1"));
            ++fed;
            waitUntil([&] { return torrent->isPaused(); }, 200);
        }
        EXPECT_TRUE(torrent->isPaused());
        EXPECT_LE(fed, 3) << "paused after the first failed writes";
        EXPECT_EQ(torrent->errorText(), QString::fromLocal8Bit(std::strerror(EROFS)));
        spinFor(300);
        EXPECT_TRUE(torrent->isPaused()) << "not retried on its own";
        EXPECT_EQ(torrent->downloadedBlocks().count(), 0);
    }
}

// Names that would leave the download folder are refused by the metainfo reader (see its hostile corpus).
TEST_F(SessionLifecycleTest, ASharedFolderKeepsWhatIsNotOurs)
{
    // A torrent named as a folder of the user's: removal takes only the file it wrote.
    const QString mine = downloads + "/Photos/mine.jpg";
    ASSERT_TRUE(writeFile(mine, "mine"));
    const RealTorrent t = RealTorrent::make("Photos", {{{"t.bin"}, 40000}, {{"u.bin"}, 10000}}, 16384, 46);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent);
    ASSERT_TRUE(waitUntil([&] { return torrent->downloadState() == TorrentLine::Downloading; }));
    ASSERT_TRUE(feedPiece(*torrent, t, 0, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->downloadedPieces().count() == 1; }));
    host.removeDownloads({torrent});
    SessionLifecycle::cleanupQueue().drain();
    EXPECT_EQ(trashed().join(' ').toStdString(), "t.bin");
    EXPECT_EQ(readFile(mine), QByteArray("mine"));
    EXPECT_TRUE(QFileInfo(downloads + "/Photos").isDir());
}

TEST_F(SessionLifecycleTest, ExistingFilesAreCheckedFirstAndForeignOnesRefused)
{
    const RealTorrent t = RealTorrent::make("Here", {{{"h.bin"}, 3 * 16384}}, 16384, 8);
    // Two pieces of the torrent already there.
    ASSERT_TRUE(writeFile(QDir(downloads).filePath("Here"), t.content.left(2 * 16384)));
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent);
    ASSERT_TRUE(waitUntil([&] { return torrent->downloadState() == TorrentLine::Downloading; }));
    EXPECT_EQ(torrent->downloadedPieces().count(), 2);

    // A file of its own beside someone else's: refused for the other one, downloads once that one went.
    const RealTorrent other = RealTorrent::make("Foreign", {{{"own"}, 16384}, {{"x"}, 2 * 16384}}, 16384, 9);
    const QString foreign = QDir(downloads).filePath("Foreign/x");
    ASSERT_TRUE(writeFile(QDir(downloads).filePath("Foreign/own"), other.content.left(16384)));
    ASSERT_TRUE(writeFile(foreign, "somebody else's notes"));
    const TorrentLinePtr refused = add(other.metainfo);
    ASSERT_TRUE(refused);
    ASSERT_TRUE(waitUntil([&] { return !refused->errorText().isEmpty(); }));
    EXPECT_EQ(refused->errorText(), QStringLiteral("\"x\" already exists and holds other data."));
    EXPECT_TRUE(refused->isPaused());
    EXPECT_EQ(readFile(foreign), QByteArray("somebody else's notes"));
    ASSERT_TRUE(QFile::rename(foreign, foreign + ".mine"));
    refused->retryDownload();
    EXPECT_TRUE(waitUntil([&] { return refused->downloadState() == TorrentLine::Downloading; }))
        << refused->errorText().toStdString();
    EXPECT_EQ(refused->downloadedPieces().count(), 1);
    host.removeDownloads({refused});
    SessionLifecycle::cleanupQueue().drain();
    EXPECT_EQ(readFile(foreign + ".mine"), QByteArray("somebody else's notes")) << "removal leaves it too";
}

TEST_F(SessionLifecycleTest, ASessionFolderThatCannotBeWrittenStopsItsTorrentWithTheReasonAndKeepsWhatItHeld)
{
    TmpfsMount disk(support, "size=256k,mode=0755");
    if (!disk.isMounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    const TorrentLinePtr stored = add(RealTorrent::make("Stored", {{{"s.bin"}, 20000}}, 16384, 21).metainfo);
    ASSERT_TRUE(stored && stored->storage());
    const RealTorrent fedContent = RealTorrent::make("Fed", {{{"f.bin"}, 3 * 16384}}, 16384, 23);
    const TorrentLinePtr fed = add(fedContent.metainfo);
    ASSERT_TRUE(fed && fed->storage());
    stored->writeStatePlist();
    StateFileWriter::queue().drain();
    const QString statePlist = SessionFolder(stored->storage()->sessionFolder()).filePath("state.plist");
    QFile before(statePlist);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray storedState = before.readAll();
    ASSERT_FALSE(storedState.isEmpty());

    // The disk fills up.
    QFile filler(QDir(support).filePath("filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray chunk(4096, 'x');
    for (int i = 0; i < 1000 && filler.write(chunk) == chunk.size() && filler.flush(); ++i) {
    }

    const struct
    {
        const char* name;
        std::function<TorrentLinePtr()> act;
    } cases[] = {
        {"a state change of a stored torrent",
         [&] {
             stored->setCustomUploadLimit(7);
             stored->writeStatePlist();
             return stored;
         }},
        {"adding a torrent", [&] { return add(RealTorrent::make("New", {{{"n.bin"}, 20000}}, 16384, 22).metainfo); }},
        {"a verified piece of a running torrent",
         [&] {
             EXPECT_TRUE(feedPiece(*fed, fedContent, 0, "10.0.0.1:1"));
             return fed;
         }},
    };
    for (const auto& c : cases) {
        const TorrentLinePtr torrent = c.act();
        ASSERT_TRUE(torrent) << c.name;
        EXPECT_TRUE(waitUntil([&] { return torrent->isPaused(); })) << c.name;
        EXPECT_TRUE(torrent->errorText().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
            << c.name << ": " << torrent->errorText().toStdString();
        EXPECT_EQ(torrent->stateDescription(), torrent->errorText()) << c.name;
    }
    QFile after(statePlist);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), storedState) << "the state stored before stays whole";
}

TEST_F(SessionLifecycleTest, EachSecondARunningTorrentShowsItsPeersAndAFinishedOneItsFallingRate)
{
    Settings::instance().setValue(QStringLiteral("kSeedingEnabled"), false);
    const RealTorrent t = RealTorrent::make("Done", {{{"d.bin"}, 16384}}, 16384, 31);
    const TorrentLinePtr torrent = add(t.metainfo);
    ASSERT_TRUE(torrent && torrent->storage());

    peers.counts[torrent.get()] = {2, 1, 0};
    session->oneSecondWork();
    EXPECT_EQ(torrent->activityText(), QStringLiteral("1 seed, 1 peer"));
    peers.counts[torrent.get()] = {3, 0, 0};
    session->oneSecondWork();
    EXPECT_EQ(torrent->activityText(), QStringLiteral("3 peers"));

    // It uploads, completes and stops (no seeding): its upload rate falls to nothing over the next seconds,
    // on the meter's clock that the test moves.
    double clock = AverageBandwidth::now();
    AverageBandwidth::setClock([&clock] { return clock; });
    const auto realClock = qScopeGuard([] { AverageBandwidth::setClock({}); });
    torrent->uploadBandwidth().recordBytes(600000);
    session->oneSecondWork();
    const QString uploading = torrent->uploadsRateText();
    ASSERT_TRUE(feedPiece(*torrent, t, 0, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return torrent->isComplete(); }));
    ASSERT_FALSE(torrent->isSeeding());
    const QString stopped; // no rate, no text
    EXPECT_NE(uploading, stopped);
    QStringList rates;
    for (int second = 1; second <= torrent->uploadBandwidth().numberOfSeconds() + 1; ++second) {
        clock += 1;
        session->oneSecondWork();
        rates.append(torrent->uploadsRateText());
    }
    EXPECT_NE(rates.first(), stopped) << "the rate falls over the window, not at once";
    EXPECT_EQ(rates.last(), stopped) << rates.join(QLatin1String(", ")).toStdString();
}

TEST_F(SessionLifecycleTest, AFilesCheckOutlastsAQuitAndARefusalItsRestartAndResumeChecksAgain)
{
    const struct
    {
        const char* name;
        bool foreign;        // the file holds someone else's data, else two pieces of the torrent's
        bool quitAfterVerdict;  // else the quit comes while the check runs
    } cases[] = {
        {"its own data, quit during the check", false, false},
        {"someone else's file, quit during the check", true, false},
        {"someone else's file, quit after the refusal", true, true},
    };
    quint32 seed = 60;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QStringLiteral("Checked%1").arg(seed);
        const RealTorrent t = RealTorrent::make(name, {{{"c.bin"}, 3 * 16384}}, 16384, seed++);
        const QString file = QDir(downloads).filePath(name);
        const QByteArray there = c.foreign ? QByteArray("somebody else's notes") : t.content.left(2 * 16384);
        ASSERT_TRUE(writeFile(file, there));
        const TorrentLinePtr added = add(t.metainfo);
        ASSERT_TRUE(added);
        ASSERT_TRUE(!c.quitAfterVerdict || waitUntil([&] { return !added->errorText().isEmpty(); }));
        restart();

        TorrentLinePtr back;
        for (const TorrentLinePtr& line : loadAll())
            if (line->path() == name)
                back = line;
        ASSERT_TRUE(back);
        if (!c.foreign) {
            EXPECT_TRUE(waitUntil([&] { return back->downloadState() == TorrentLine::Downloading; }))
                << "state " << back->downloadState();
            EXPECT_EQ(back->downloadedPieces().count(), 2);
            continue;
        }
        const QString refusal = QStringLiteral("\"%1\" already exists and holds other data.").arg(name);
        ASSERT_TRUE(waitUntil([&] { return !back->errorText().isEmpty(); })) << "no reason after the restart";
        EXPECT_EQ(back->errorText(), refusal);
        EXPECT_EQ(back->stateDescription(), refusal) << "shown after the restart";

        // Resume checks again, and refuses again while the file is there.
        back->retryDownload();
        EXPECT_TRUE(waitUntil([&] { return !back->errorText().isEmpty(); }));
        EXPECT_TRUE(back->isPaused());
        EXPECT_EQ(readFile(file), there);
        // Once the user moved it away, Resume downloads.
        ASSERT_TRUE(QFile::rename(file, file + ".mine"));
        back->retryDownload();
        EXPECT_TRUE(waitUntil([&] { return back->downloadState() == TorrentLine::Downloading; }));
        EXPECT_EQ(readFile(file + ".mine"), there);
    }
}

TEST_F(SessionLifecycleTest, ATorrentWhoseFilesAreCheckedHoldsItsPlaceInTheDownloadQueue)
{
    Settings::instance().setValue(QStringLiteral("kDownloadQueueLimit"), 1);
    const RealTorrent checked = RealTorrent::make("Checked", {{{"c.bin"}, 3 * 16384}}, 16384, 70);
    ASSERT_TRUE(writeFile(QDir(downloads).filePath("Checked"), checked.content.left(16384)));
    TorrentLinePtr first;
    TorrentLinePtr second;
    {
        // Its check waits for the store's queue.
        QueueGate gate(PieceStore::storeQueue());
        first = add(checked.metainfo);
        second = add(RealTorrent::make("Next", {{{"n.bin"}, 16384}}, 16384, 71).metainfo);
        ASSERT_TRUE(first && second);
        EXPECT_TRUE(first->isPaused());
        EXPECT_TRUE(second->isWaiting()) << "the torrent being checked has the queue's one place";
        first->pieceStore()->stopExistingDataCheck();  // at its first piece, as a save does
    }
    session->saveAtTermination();  // a save that is no quit (a logout cancelled): the check goes on
    ASSERT_TRUE(waitUntil([&] { return first->downloadState() == TorrentLine::Downloading; }));
    EXPECT_EQ(first->downloadedPieces().count(), 1);
    EXPECT_TRUE(second->isWaiting());
    EXPECT_EQ(host.numberOfDownloadingTorrents(), 1);
}
