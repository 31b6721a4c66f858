// What the headless driver leaves on disk while it downloads from a libtorrent seeder: skipped files hold
// only the pieces they share with wanted ones, a driver killed at any moment keeps only pieces whose
// data is really there, then completes without listing its torrent twice, a file cut short under it is
// made whole, and a quit during the move to another disk leaves no partial copy; killed soon after
// adding, it keeps the user's choices and never writes over a file of the user's; killed under a slow
// disk, its saved progress is close behind the data on the disk; killed just after a check of files already
// there, it keeps what the check found. A seeded file cut short stops the torrent with only true pieces
// recorded; torrents whose state cannot be saved resume as they were, and a removed one keeps its content.
#include "engine/net/PZReadStream.h"
#include "engine/torrent/TorrentFixtures.h"
#include "interop/support/EngineDriver.h"
#include "interop/support/LibtorrentPeer.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ombrelay::test;

namespace {

bool bitIsSet(const QByteArray& bitfield, qint64 index)
{
    return index / 8 < bitfield.size() && (quint8(bitfield[index / 8]) & (0x80 >> (index % 8))) != 0;
}

class DriverStorageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QFileInfo::exists(kPython));
    }

    // seed/payload holding `files` files of `size` bytes in all, and seed/payload.torrent; the info hash.
    QByteArray makePayload(int size, int files, int pieceLength)
    {
        const QByteArray hash = ombrelay::test::makePayload(
            seedFolder(), {"--size", QString::number(size), "--files", QString::number(files), "--piece-length",
                           QString::number(pieceLength)});
        // The files in the torrent's order, as libtorrent wrote it.
        HelperProcess list(kPython, {"-c", "import sys, libtorrent as lt\n"
                                           "fs = lt.torrent_info(sys.argv[1]).files()\n"
                                           "print('files', ' '.join(fs.file_path(i) for i in range(fs.num_files())))",
                                     torrentPath()});
        paths = QString::fromUtf8(list.waitForLine("files", 30000)).split(' ', Qt::SkipEmptyParts);
        EXPECT_EQ(paths.size(), files);
        for (const QString& path : paths)
            original.append(readFile(QDir(seedFolder()).filePath(path)));
        return hash;
    }
    // Starts a libtorrent seeder, sending at most `rate` bytes a second when given: options that dial it.
    EngineDriver::Options seeded(int timeoutSeconds, int rate = 0)
    {
        quint16 port = 0;
        seed = libtorrentPeer("seed", torrentPath(), seedFolder(), "enabled", 240, &port,
                              {"--upload-rate", QString::number(rate)});
        EXPECT_NE(port, 0) << "the seeder did not start";
        return {{QStringLiteral("127.0.0.1:%1").arg(port)}, 0, timeoutSeconds, {}};
    }
    // The torrent's session folders, the pieces the files on disk hold whole and right, and those the
    // bitfield file records as verified (each checked to be right on the disk).
    struct Progress
    {
        qsizetype folders = 0;
        int good = 0;
        int recorded = 0;
    };
    Progress progress(const EngineDriver& driver, qint64 pieceLength)
    {
        const QDir torrents(QDir(driver.dataFolder()).filePath(QStringLiteral("Torrents")));
        const QStringList folders = torrents.entryList({QStringLiteral("*.ombrelay")}, QDir::Dirs);
        const QByteArray verified = folders.isEmpty() ? QByteArray()
            : readFile(torrents.filePath(folders.first() + "/downloadedPieces.bitfield"));
        QByteArray content, disk;
        for (int file = 0; file < original.size(); ++file) {
            content += original[file];
            disk += readFile(downloaded(driver, file)).leftJustified(original[file].size(), '\0', true);
        }
        Progress counted{folders.size()};
        for (qint64 piece = 0; piece * pieceLength < content.size(); ++piece) {
            const bool good = disk.mid(piece * pieceLength, pieceLength) == content.mid(piece * pieceLength, pieceLength);
            counted.good += good ? 1 : 0;
            if (bitIsSet(verified, piece)) {
                ++counted.recorded;
                EXPECT_TRUE(good) << "piece " << piece << " is recorded as verified but its data is not on the disk";
            }
        }
        return counted;
    }
    // Checks that the wanted files are whole and that each skipped one holds only the pieces it shares
    // with a wanted file, and is not there when it shares none; answers how many share none.
    int checkSkippedFiles(const EngineDriver& driver, const QList<int>& skipped, qint64 pieceLength)
    {
        const auto isWanted = [&](int file) { return !skipped.contains(file); };
        int untouched = 0;
        for (int file = 0; file < original.size(); ++file) {
            SCOPED_TRACE(file);
            const QByteArray bytes = readFile(downloaded(driver, file));
            if (isWanted(file)) {
                EXPECT_TRUE(bytes == original[file]) << "a wanted file is byte-identical";
                continue;
            }
            const qint64 start = fileStart(file);
            const qint64 end = start + original[file].size();
            bool sharesAPiece = false;
            for (qint64 piece = start / pieceLength; piece * pieceLength < end; ++piece) {
                const qint64 from = std::max(start, piece * pieceLength);
                const qint64 to = std::min(end, (piece + 1) * pieceLength);
                bool shared = false;
                for (int other = 0; other < original.size(); ++other) {
                    const qint64 otherStart = fileStart(other);
                    shared = shared || (isWanted(other) && otherStart < (piece + 1) * pieceLength &&
                                        otherStart + original[other].size() > piece * pieceLength);
                }
                sharesAPiece = sharesAPiece || shared;
                const QByteArray part = bytes.mid(from - start, to - from);
                if (shared)
                    EXPECT_TRUE(part == original[file].mid(from - start, to - from)) << "shared piece " << piece;
                else
                    EXPECT_EQ(part.count('\0'), part.size()) << "piece " << piece << " was written";
            }
            EXPECT_EQ(QFileInfo::exists(downloaded(driver, file)), sharesAPiece);
            untouched += sharesAPiece ? 0 : 1;
        }
        return untouched;
    }
    QString seedFolder() const { return root.filePath(QStringLiteral("seed")); }
    QString torrentPath() const { return root.filePath(QStringLiteral("seed/payload.torrent")); }
    QString downloaded(const EngineDriver& driver, int file) const
    {
        return QDir(driver.downloadFolder()).filePath(paths.value(file));
    }
    qint64 fileStart(int file) const
    {
        qint64 start = 0;
        for (int k = 0; k < file; ++k)
            start += original[k].size();
        return start;
    }

    QTemporaryDir root;
    QStringList paths;           // the torrent's files, in its order
    QList<QByteArray> original;  // their bytes
    std::unique_ptr<HelperProcess> seed;
};

}  // namespace

TEST_F(DriverStorageTest, SkippedFilesHoldOnlyThePiecesTheyShareWithWantedOnes)
{
    constexpr qint64 kPiece = 65536;
    const QByteArray hash = makePayload(3'000'000, 5, int(kPiece));
    ASSERT_EQ(original.size(), 5);
    EngineDriver::Options options = seeded(90);
    // Three files in the middle skipped: one of them shares no piece with a wanted file.
    const QList<int> skipped{1, 2, 3};
    options.skippedFiles = skipped;
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    HelperProcess& run = driver.start({torrentPath()}, options);
    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 90000), QByteArray());
    ASSERT_TRUE(run.waitForExit(10000));
    EXPECT_EQ(run.exitCode(), 0);

    EXPECT_GT(checkSkippedFiles(driver, skipped, kPiece), 0) << "the layout has no skipped file apart from wanted ones";
}

TEST_F(DriverStorageTest, KilledAtRandomMomentsItKeepsOnlyTrueVerifiedPiecesAndCompletes)
{
    constexpr qint64 kPiece = 65536;
    const QByteArray hash = makePayload(12'000'000, 3, int(kPiece));
    ASSERT_EQ(original.size(), 3);
    const qint64 pieces = (fileStart(3) + kPiece - 1) / kPiece;
    // Slow enough (about 35 s in all) that the kills land in the middle of the download; the bitfields
    // are written about once a second, so each run lasts a little longer than that.
    const EngineDriver::Options options = seeded(120, 350'000);
    EngineDriver driver(root.filePath(QStringLiteral("leech")));

    const quint32 seedValue = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "kill moments from seed " << seedValue);
    QRandomGenerator random(seedValue);
    int killsMidway = 0;
    for (int kill = 0; kill < 20; ++kill) {
        SCOPED_TRACE(kill);
        HelperProcess& run = driver.start({torrentPath()}, options);
        QThread::msleep(random.bounded(400, 2800));
        run.killNow();

        const Progress counted = progress(driver, kPiece);
        ASSERT_LE(counted.folders, 1) << "the torrent is never listed twice";
        killsMidway += counted.recorded > 0 && counted.recorded < pieces ? 1 : 0;
    }
    EXPECT_GE(killsMidway, 5) << "the kills did not land in the middle of the download";

    HelperProcess& last = driver.start({torrentPath()}, options);
    EXPECT_EQ(last.waitForLine("state " + hash + " complete", 120000), QByteArray());
    ASSERT_TRUE(last.waitForExit(10000));
    EXPECT_EQ(last.exitCode(), 0);
    for (int file = 0; file < original.size(); ++file)
        EXPECT_TRUE(readFile(downloaded(driver, file)) == original[file]) << "file " << file;
    const Progress counted = progress(driver, kPiece);
    ASSERT_EQ(counted.folders, 1);
    EXPECT_EQ(counted.recorded, pieces) << "every piece recorded as verified at the end";
}

// A file of the download cut short under it (as `truncate` does) while blocks still arrive: the pieces
// past its new end come again, those verified long before too, and the download ends byte-identical.
TEST_F(DriverStorageTest, AFileCutShortWhileItDownloadsEndsByteIdentical)
{
    const QByteArray hash = makePayload(4'000'000, 3, 65536);
    ASSERT_EQ(original.size(), 3);
    EngineDriver::Options options = seeded(120, 400'000);  // about 10 s
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    options.resumeAfterErrorSeconds = 1;  // the user resumes it once told why it stopped
    HelperProcess& run = driver.start({torrentPath()}, options);

    double fraction = 0;
    for (int line = 0; line < 200 && fraction < 0.4; ++line)
        fraction = run.waitForLine("progress " + hash, 30000).split(' ').value(0).toDouble();
    ASSERT_GE(fraction, 0.4);
    const int largest = int(std::max_element(original.begin(), original.end(),
                                             [](const QByteArray& a, const QByteArray& b) { return a.size() < b.size(); })
                            - original.begin());
    const QString cut = downloaded(driver, largest);
    ASSERT_TRUE(QFile::resize(cut, QFileInfo(cut).size() / 2));

    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 120000), QByteArray());
    ASSERT_TRUE(run.waitForExit(10000));
    EXPECT_EQ(run.exitCode(), 0);
    for (int file = 0; file < original.size(); ++file)
        EXPECT_TRUE(readFile(downloaded(driver, file)) == original[file]) << "file " << file;
}

// The download completes in an incomplete folder on another disk and is being copied to the download
// folder when the user quits: the quit stops the copy and leaves none of it, and the next start moves the
// content whole.
TEST_F(DriverStorageTest, AQuitDuringTheMoveToAnotherDiskStopsTheCopyAndTheNextStartMovesIt)
{
    QTemporaryDir otherDisk(QStringLiteral("/dev/shm/ombrelay-quit-move-XXXXXX"));
    struct stat here, there;
    if (!otherDisk.isValid() || ::stat(QFile::encodeName(root.path()).constData(), &here) != 0
        || ::stat(QFile::encodeName(otherDisk.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system";
    const QByteArray hash = makePayload(192 << 20, 1, 1 << 20);
    const QByteArray digest = fileDigest(QDir(seedFolder()).filePath(QStringLiteral("payload.bin")));
    EngineDriver::Options options = seeded(120);
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    options.incompleteFolder = otherDisk.filePath(QStringLiteral("incomplete"));
    const QString incomplete = QDir(options.incompleteFolder).filePath(QStringLiteral("payload.bin"));
    const QString copy = QDir(driver.downloadFolder()).filePath(QStringLiteral(".payload.bin.ombrelay-move"));
    HelperProcess& run = driver.start({torrentPath()}, options);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(copy); }, 120000)) << "the move never began";
    run.terminate();
    ASSERT_TRUE(run.waitForExit(60000));
    EXPECT_FALSE(QFileInfo::exists(copy)) << "the quit waited for the copy to end";
    ASSERT_EQ(fileDigest(incomplete), digest) << "the quit came after the move";

    HelperProcess& again = driver.start({torrentPath()}, options);
    EXPECT_EQ(again.waitForLine("state " + hash + " complete", 60000), QByteArray());
    ASSERT_TRUE(again.waitForExit(60000));
    EXPECT_EQ(again.exitCode(), 0);
    EXPECT_EQ(fileDigest(QDir(driver.downloadFolder()).filePath(QStringLiteral("payload.bin"))), digest);
    EXPECT_FALSE(QFileInfo::exists(incomplete));
}

TEST_F(DriverStorageTest, KilledSoonAfterAddingItComesBackWithTheFilesItSkippedAndItsPlaceInTheQueue)
{
    constexpr qint64 kPiece = 65536;
    const QByteArray hash = makePayload(3'000'000, 3, int(kPiece));
    ASSERT_EQ(original.size(), 3);
    const QString smallFolder = root.filePath(QStringLiteral("small"));
    const QByteArray smallHash = ombrelay::test::makePayload(smallFolder, {QStringLiteral("--size"), QStringLiteral("20000")});
    const QStringList torrents{torrentPath(), QDir(smallFolder).filePath(QStringLiteral("payload.torrent"))};

    // One download at a time: the second torrent waits. No peer yet: nothing changes its state.
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    ASSERT_TRUE(writeFile(QDir(driver.dataFolder()).filePath(QStringLiteral("Ombrelay.conf")),
                          "[General]\nkUploadLimitEnabled=false\nkDownloadQueueLimit=1\n"));
    HelperProcess& first = driver.start(torrents, {{}, 0, 60, {1}});
    EXPECT_EQ(first.waitForLine("state " + smallHash, 30000), QByteArray("waiting"));
    const quint32 seedValue = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "kill moment from seed " << seedValue);
    QThread::msleep(QRandomGenerator(seedValue).bounded(300, 2000));
    first.killNow();

    HelperProcess& again = driver.start(torrents, seeded(90));
    EXPECT_EQ(again.waitForLine("state " + smallHash, 30000), QByteArray("waiting"));
    EXPECT_EQ(again.waitForLine("state " + hash + " complete", 90000), QByteArray());
    again.killNow();

    EXPECT_GT(original[1].size(), 2 * kPiece) << "the skipped file holds a whole piece of its own";
    checkSkippedFiles(driver, {1}, kPiece);
}

TEST_F(DriverStorageTest, KilledWhileItChecksAFileOfTheUsersItNeverWritesOverIt)
{
    const QByteArray hash = makePayload(16'000'000, 1, 65536);
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    const QString mine = QDir(driver.downloadFolder()).filePath(QStringLiteral("payload.bin"));
    const QByteArray theirs = seededRandomBytes(16'000'000, 77);
    ASSERT_TRUE(writeFile(mine, theirs));
    const EngineDriver::Options options = seeded(60);

    HelperProcess& first = driver.start({torrentPath()}, options);
    EXPECT_EQ(first.waitForLine("state " + hash, 30000), QByteArray("paused")) << "parked while the file is checked";
    first.killNow();
    HelperProcess& again = driver.start({torrentPath()}, options);
    EXPECT_EQ(again.waitForLine("state " + hash + " paused \"payload.bin\"", 60000),
              QByteArray("already exists and holds other data."));
    again.killNow();
    EXPECT_TRUE(readFile(mine) == theirs) << "the user's file is as it was";
}

TEST_F(DriverStorageTest, KilledUnderASlowDiskItsSavedProgressIsCloseBehindTheDataOnTheDisk)
{
    constexpr qint64 kPiece = 65536;
    constexpr qint64 kWriteRate = 500'000;
    // The seeder sends the whole payload at once; the disk takes about 24 s to write it.
    makePayload(12'000'000, 2, int(kPiece));
    EngineDriver::Options options = seeded(60);
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    options.writeRate = kWriteRate;
    // Saved progress may trail the disk by what one pass of reads brings (it lands at once) and what the
    // disk writes in 8 s (the bitfields follow a second after a piece verifies, and their sync can wait
    // seconds on a busy disk), never by the whole write backlog: a kill comes after 14 s of writing at
    // least, when the disk holds about 100 of the 183 pieces, and bitfields queued behind the backlog would
    // trail by them all.
    constexpr int kLag = int((ombrelay::PZReadStream::kMaxReadPerPass + 8 * kWriteRate) / kPiece);

    const quint32 seedValue = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "kill moments from seed " << seedValue);
    QRandomGenerator random(seedValue);
    int midway = 0;
    for (int kill = 0; kill < 3; ++kill) {
        SCOPED_TRACE(kill);
        HelperProcess& run = driver.start({torrentPath()}, options);
        QThread::msleep(random.bounded(14000, 18000));
        run.killNow();
        const Progress counted = progress(driver, kPiece);
        ASSERT_EQ(counted.folders, 1);
        EXPECT_GE(counted.recorded, counted.good - kLag) << counted.good << " pieces on the disk";
        midway += counted.good > kLag ? 1 : 0;
    }
    EXPECT_GT(midway, 0) << "the kills came before the disk held much";
}

// Killed just after the check of files already there, it keeps what the check found; a check of a huge file
// holds up neither another torrent's download nor a quit.
TEST_F(DriverStorageTest, ChecksOfFilesAlreadyThereOutliveAKillAndHoldUpNeitherDownloadsNorAQuit)
{
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    const QDir folder(driver.downloadFolder());
    const QByteArray checked = ombrelay::test::makePayload(
        folder.path(), {"--size", "16000000", "--files", "2", "--piece-length", "262144"});
    const QString there = folder.filePath(QStringLiteral("payload.torrent"));
    // Zeros in a sparse file, whose check takes minutes.
    constexpr qint64 kSize = 256LL << 30, kPiece = 16LL << 20;
    ombrelay::BValue info = ombrelay::test::singleFileInfo(QStringLiteral("huge.bin"), kSize, kPiece);
    info.insert("pieces", QCryptographicHash::hash(QByteArray(kPiece, '\0'), QCryptographicHash::Sha1)
                              .repeated(int(kSize / kPiece)));
    const QString huge = root.filePath(QStringLiteral("huge.torrent"));
    ASSERT_TRUE(writeFile(huge, ombrelay::test::metainfo(std::move(info), {})));
    ASSERT_TRUE(writeFile(folder.filePath("huge.bin")) && QFile::resize(folder.filePath("huge.bin"), kSize));
    const QByteArray small = makePayload(3'000'000, 1, 65536);

    HelperProcess& first = driver.start({there, huge}, {});
    ASSERT_EQ(first.waitForLine("state " + checked + " complete", 60000), QByteArray());
    first.killNow();  // within the second after the check, as a crash would
    HelperProcess& again = driver.start({there, huge, torrentPath()}, seeded(120));
    QByteArray state;  // complete at once, or once checked again; never downloading it all again
    for (int line = 0; line < 5 && state != "complete" && state != "downloading"; ++line)
        state = again.waitForLine("state " + checked, 30000);
    EXPECT_EQ(state, QByteArray("complete"));
    EXPECT_EQ(again.waitForLine("state " + small + " complete", 90000), QByteArray());
    again.terminate();
    EXPECT_TRUE(again.waitForExit(30000));
}

// A complete torrent seeds; a file of it is cut short under it, then a libtorrent leecher asks for pieces.
TEST_F(DriverStorageTest, ASeededFileCutShortStopsTheTorrentAndLeavesOnlyTruePiecesRecorded)
{
    constexpr qint64 kPiece = 65536;
    const QByteArray hash = makePayload(4'000'000, 3, int(kPiece));
    EngineDriver driver(root.filePath(QStringLiteral("seeder")));
    for (int file = 0; file < original.size(); ++file)
        ASSERT_TRUE(writeFile(downloaded(driver, file), original[file]));
    EngineDriver::Options options;
    options.seedUntilRatio = 100;
    HelperProcess& run = driver.start({torrentPath()}, options);
    ASSERT_EQ(run.waitForLine("state " + hash + " complete", 60000), QByteArray());
    ASSERT_TRUE(QFile::resize(downloaded(driver, 2), 1'000'000));
    const auto leecher = libtorrentPeer("fetch", torrentPath(), root.filePath(QStringLiteral("fetched")),
                                        "enabled", 90, nullptr, {"--connect", driver.address()});
    EXPECT_TRUE(run.waitForLine("state " + hash + " paused", 60000).endsWith("written into it."));
    ASSERT_TRUE(run.waitForExit(30000));  // stopped by an error, it quits saving its state
    const Progress counted = progress(driver, kPiece);
    EXPECT_EQ(counted.recorded, counted.good);
}

// Torrents stopped because their state cannot be saved: added so, they run once resumed; stopped so once
// complete, they are complete again when resumed, and keep their content when removed.
TEST_F(DriverStorageTest, TorrentsWhoseStateCannotBeSavedResumeAsTheyWereAndKeepTheirContentWhenRemoved)
{
    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    const QDir folder(driver.downloadFolder());
    const QString sessions = QDir(driver.dataFolder()).filePath(QStringLiteral("Torrents"));
    const QStringList torrents{root.filePath(QStringLiteral("resumed.torrent")),
                               folder.filePath(QStringLiteral("payload.torrent"))};
    const QByteArray resumed = ombrelay::test::makePayload(folder.path(), {"--size", "300000"});
    ASSERT_TRUE(QFile::rename(torrents[1], torrents[0]));
    const QByteArray removed =
        ombrelay::test::makePayload(folder.path(), {"--size", "400000", "--files", "2"});
    ASSERT_TRUE(writeFile(sessions));  // no session folder can be made in it
    EngineDriver::Options options;
    options.seedUntilRatio = 100;
    options.resumeAfterErrorSeconds = 2;
    options.wrapper = {QStringLiteral("/usr/bin/env"), "XDG_DATA_HOME=" + root.path()};  // a trash of its own
    HelperProcess& run = driver.start(torrents, options);
    const auto both = [&run](const QByteArray& state) {  // until each torrent had a state line so
        QSet<QByteArray> seen;
        for (int line = 0; line < 20 && seen.size() < 2; ++line)
            if (const QByteArray read = run.waitForLine("state ", 30000); read.mid(41).startsWith(state))
                seen.insert(read.left(40));
        return seen.size() == 2;
    };
    ASSERT_TRUE(both("paused Its state cannot be saved"));
    ASSERT_TRUE(QFile::remove(sessions));
    ASSERT_TRUE(both("complete"));

    // Their state files cannot be replaced: the next state change stops them.
    QStringList states = QDir(sessions).entryList({QStringLiteral("*.ombrelay")}, QDir::Dirs);
    ASSERT_EQ(states.size(), 2) << "the session folders were not written when resumed";
    for (QString& state : states)
        ASSERT_TRUE(QFile::remove(state = sessions + "/" + state + "/state.plist") && QDir().mkdir(state));
    run.writeLine("set kSeedingEnabled 0");
    ASSERT_TRUE(both("paused Its state cannot be saved"));
    run.writeLine("remove " + removed);  // before it is resumed
    EXPECT_EQ(run.waitForLine("removed " + removed, 10000), QByteArray());
    for (const QString& state : states)
        QDir().rmdir(state);
    QByteArray state;  // paused again should it resume before its state file could be written
    for (int line = 0; line < 5 && state != "complete" && !state.startsWith("downloading"); ++line)
        state = run.waitForLine("state " + resumed, 30000);
    EXPECT_EQ(state, QByteArray("complete"));
    run.terminate();
    ASSERT_TRUE(run.waitForExit(30000));
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QStringLiteral("payload/file0.bin"))));
}
