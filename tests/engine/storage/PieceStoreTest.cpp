#include "engine/storage/FileHandleCache.h"
#include "HeldQueue.h"
#include "engine/storage/PieceStore.h"
#include "kit/SerialQueue.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

// A torrent made of random bytes cut into files, with the pieces' hashes.
struct Fixture
{
    QTemporaryDir dir;
    QByteArray content;
    PieceGeometry geometry;
    QVector<StorageFile> files;
    QByteArray hashes;

    Fixture(qint64 pieceLength, const QVector<qint64>& fileLengths, quint32 seed = 7)
    {
        qint64 total = 0;
        for (qint64 length : fileLengths) {
            files.append({dir.filePath(QStringLiteral("Payload/file%1.bin").arg(files.size())), total, length, true});
            total += length;
        }
        content = test::seededRandomBytes(total, seed);
        geometry = PieceGeometry(pieceLength, total);
        hashes = test::pieceHashes(content, pieceLength);
    }

    QByteArray block(quint64 b) const
    {
        const auto span = geometry.blockSpan(b);
        return content.mid(span.start, span.length);
    }

    bool store(PieceStore& store, quint64 b) const
    {
        return store.storeBlock(geometry.pieceOfBlock(b), geometry.offsetOfBlock(b), block(b));
    }

    QByteArray fileBytes(int i) const { return test::readFile(files[i].path); }

    void writeFiles() const
    {
        for (const auto& file : files)
            ASSERT_TRUE(test::writeFile(file.path, content.mid(file.offset, file.length)));
    }
};

void settle()
{
    PieceStore::drainQueues();
    PieceStore::readQueue().drain();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace

TEST(PieceStore, DownloadsAMultiFileTorrentByteForByte)
{
    // Piece length is not a multiple of the block size, and blocks cross file boundaries.
    Fixture f(40000, {10000, 70001, 1, 33333});
    PieceStore store(f.geometry, f.files, f.hashes);
    QSignalSpy verified(&store, &PieceStore::pieceVerified);
    QSignalSpy failed(&store, &PieceStore::pieceFailed);

    std::vector<quint64> order(f.geometry.blockCount());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    for (quint64 b : order)
        ASSERT_TRUE(f.store(store, b));
    settle();

    EXPECT_EQ(verified.count(), int(f.geometry.pieceCount()));
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(store.verifiedPieces().count(), qint64(f.geometry.pieceCount()));
    for (int i = 0; i < f.files.size(); ++i)
        EXPECT_EQ(f.fileBytes(i), f.content.mid(f.files[i].offset, f.files[i].length)) << "file " << i;
}

TEST(PieceStore, BlocksInOrderAreWrittenInRunsByteForByte)
{
    // Consecutive blocks go out in vectored writes that cross file boundaries; a duplicate in the middle
    // of a run and a file of one byte must not shift a single byte.
    Fixture f(40000, {10000, 70001, 1, 33333, 5});
    PieceStore store(f.geometry, f.files, f.hashes);
    QSignalSpy verified(&store, &PieceStore::pieceVerified);
    // Held, so that every block waits in one batch.
    std::atomic<bool> release{false};
    test::holdQueue(PieceStore::storeQueue(), release);
    for (quint64 b = 0; b < f.geometry.blockCount(); ++b) {
        ASSERT_TRUE(f.store(store, b));
        if (b == 3) {
            ASSERT_TRUE(f.store(store, 2));
        }
    }
    release = true;
    settle();

    EXPECT_EQ(verified.count(), int(f.geometry.pieceCount()));
    EXPECT_EQ(store.storedBlocks().count(), qint64(f.geometry.blockCount()));
    for (int i = 0; i < f.files.size(); ++i)
        EXPECT_EQ(f.fileBytes(i), f.content.mid(f.files[i].offset, f.files[i].length)) << "file " << i;
}

TEST(PieceStore, RefusesBlocksThatAreNotExactlyOurs)
{
    Fixture f(32768, {50000});
    PieceStore store(f.geometry, f.files, f.hashes);
    const QByteArray full(16384, 'x');
    EXPECT_FALSE(store.storeBlock(2, 0, full));                       // no piece 2
    EXPECT_FALSE(store.storeBlock(0, 100, full));                     // misaligned
    EXPECT_FALSE(store.storeBlock(0, 0, full.left(100)));             // too short
    EXPECT_FALSE(store.storeBlock(1, 16384, full));                   // the last block is 848 bytes
    EXPECT_FALSE(store.storeBlock(0, 32768, full));                   // outside the piece
    EXPECT_FALSE(store.storeBlock(0xFFFFFFFF, 0xFFFFC000, full));
    EXPECT_TRUE(store.storeBlock(1, 16384, f.block(3)));
    settle();
    EXPECT_FALSE(QFileInfo::exists(f.dir.filePath(QStringLiteral("Payload/other"))));
}

TEST(PieceStore, CorruptPieceIsForgottenThenVerifiedOnceRight)
{
    Fixture f(32768, {65536});
    PieceStore store(f.geometry, f.files, f.hashes);
    QSignalSpy verified(&store, &PieceStore::pieceVerified);
    QSignalSpy failed(&store, &PieceStore::pieceFailed);

    QByteArray bad = f.block(0);
    bad[5] = char(bad[5] ^ 1);
    ASSERT_TRUE(store.storeBlock(0, 0, bad));
    ASSERT_TRUE(f.store(store, 1));
    settle();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toUInt(), 0u);
    EXPECT_FALSE(store.verifiedPieces().containsIndex(0));
    EXPECT_FALSE(store.storedBlocks().containsIndex(0));
    EXPECT_FALSE(store.storedBlocks().containsIndex(1));

    ASSERT_TRUE(f.store(store, 0));
    ASSERT_TRUE(f.store(store, 1));
    settle();
    EXPECT_EQ(verified.count(), 1);
    EXPECT_TRUE(store.verifiedPieces().containsIndex(0));
}

TEST(PieceStore, VerifiedPieceCannotBeOverwritten)
{
    Fixture f(16384, {32768});
    PieceStore store(f.geometry, f.files, f.hashes);
    ASSERT_TRUE(f.store(store, 0));
    settle();
    ASSERT_TRUE(store.verifiedPieces().containsIndex(0));
    EXPECT_FALSE(store.storeBlock(0, 0, QByteArray(16384, 'z')));
    settle();
    EXPECT_EQ(f.fileBytes(0).left(16384), f.block(0));
}

TEST(PieceStore, ServesOnlyVerifiedSpansAndNeverZerosForVanishedData)
{
    Fixture f(32768, {32768, 32768});
    PieceStore store(f.geometry, f.files, f.hashes);
    for (quint64 b = 0; b < 2; ++b)
        ASSERT_TRUE(f.store(store, b));
    settle();

    struct Case
    {
        quint32 piece, offset, length;
        bool served;
    } cases[] = {{0, 0, 16384, true}, {0, 100, 32668, true}, {0, 100, 32669, false}, {1, 0, 16384, false},
                 {5, 0, 1, false}, {0, 0, 0, false}};
    for (const auto& c : cases) {
        std::optional<std::optional<QByteArray>> answer;
        store.readSpan(c.piece, c.offset, c.length, [&](std::optional<QByteArray> data) { answer = data; });
        settle();
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->has_value(), c.served) << c.piece << " " << c.offset << " " << c.length;
        if (c.served) {
            EXPECT_EQ(**answer, f.content.mid(c.offset, c.length));
        }
    }

    store.purgeCachedDescriptors();
    QFile::remove(f.files[0].path);
    // Missing under the empty mount point of a detached disk: nothing is lost.
    store.setDetachedTest([](const QString&) { return true; });
    store.readSpan(0, 0, 16384, [](std::optional<QByteArray>) {});
    settle();
    settle();  // the loss is weighed on the store queue
    EXPECT_TRUE(store.verifiedPieces().containsIndex(0));
    store.setDetachedTest([](const QString&) { return false; });
    std::optional<std::optional<QByteArray>> answer;
    store.readSpan(0, 0, 16384, [&](std::optional<QByteArray> data) { answer = data; });
    settle();
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->has_value());
    settle();
    EXPECT_FALSE(store.verifiedPieces().containsIndex(0));
}

TEST(PieceStore, WriteIntoFileThatCannotBeCreatedFails)
{
    // A path component that is a regular file cannot hold a folder (root cannot write there either).
    Fixture f(16384, {16384});
    ASSERT_TRUE(test::writeFile(f.dir.filePath(QStringLiteral("Payload"))));
    PieceStore store(f.geometry, f.files, f.hashes);
    QSignalSpy failed(&store, &PieceStore::writeFailed);
    ASSERT_TRUE(f.store(store, 0));
    settle();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_FALSE(failed.at(0).at(2).toBool());
    EXPECT_FALSE(failed.at(0).at(1).toString().isEmpty());
    EXPECT_FALSE(store.storedBlocks().containsIndex(0));
}

TEST(PieceStore, DetachedDiskGetsNoFiles)
{
    Fixture f(16384, {16384});
    PieceStore store(f.geometry, f.files, f.hashes);
    store.setDetachedTest([](const QString&) { return true; });
    QSignalSpy failed(&store, &PieceStore::writeFailed);
    ASSERT_TRUE(f.store(store, 0));
    store.createEmptyFiles();
    settle();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(2).toBool());
    EXPECT_FALSE(QFileInfo::exists(f.files[0].path));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(f.files[0].path).absolutePath()));
}

TEST(PieceStore, DeletedFileLosesItsPiecesAndIsWrittenAgain)
{
    Fixture f(16384, {16384 * 2});
    PieceStore store(f.geometry, f.files, f.hashes);
    ASSERT_TRUE(f.store(store, 0));
    settle();
    ASSERT_TRUE(store.verifiedPieces().containsIndex(0));

    QSignalSpy lost(&store, &PieceStore::piecesLost);
    QFile::remove(f.files[0].path);
    ASSERT_TRUE(f.store(store, 1));
    settle();
    ASSERT_EQ(lost.count(), 1);
    EXPECT_EQ(lost.at(0).at(0).value<QVector<quint32>>(), (QVector<quint32>{0, 1}));
    EXPECT_FALSE(store.verifiedPieces().containsIndex(0));
    EXPECT_TRUE(store.verifiedPieces().containsIndex(1));
    EXPECT_EQ(f.fileBytes(0).mid(16384), f.block(1));
    ASSERT_TRUE(f.store(store, 0));  // downloaded again
    settle();
    EXPECT_TRUE(store.verifiedPieces().containsIndex(0));
}

TEST(PieceStore, ExistingDataIsCheckedBeforeAnythingIsWritten)
{
    Fixture f(16384, {20000, 30000});
    f.writeFiles();
    // Damage the second piece only.
    {
        QFile file(f.files[0].path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(16384 + 10);
        file.write("!");
    }
    PieceStore store(f.geometry, f.files, f.hashes);
    QSignalSpy checked(&store, &PieceStore::existingDataChecked);
    store.checkExistingData();
    settle();
    ASSERT_EQ(checked.count(), 1);
    const auto found = checked.at(0).at(0).value<PZIndexSet>();
    EXPECT_TRUE(found.containsIndex(0));
    EXPECT_FALSE(found.containsIndex(1));
    EXPECT_TRUE(found.containsIndex(2));
    EXPECT_EQ(store.verifiedPieces().count(), 3);
}

TEST(PieceStore, RestoreForgetsPiecesOverShortFiles)
{
    Fixture f(16384, {32768, 16384});
    f.writeFiles();
    ASSERT_TRUE(QFile::resize(f.files[0].path, 20000));  // cut short: piece 1 is gone
    PieceStore store(f.geometry, f.files, f.hashes);
    QSignalSpy lost(&store, &PieceStore::piecesLost);
    store.restore(PZIndexSet::filledSetWithLength(3), PZIndexSet::filledSetWithLength(3));
    settle();
    ASSERT_EQ(lost.count(), 1);
    EXPECT_EQ(lost.at(0).at(0).value<QVector<quint32>>(), QVector<quint32>{1});
    EXPECT_TRUE(store.verifiedPieces().containsIndex(0));
    EXPECT_FALSE(store.verifiedPieces().containsIndex(1));
    EXPECT_TRUE(store.verifiedPieces().containsIndex(2));
}

TEST(PieceStore, RestoreChecksPiecesWhoseCheckACrashCutShort)
{
    // Piece 0 holds its data, piece 1 was spoiled on disk; both had every block stored, neither verified.
    Fixture f(32768, {40000, 40000});
    f.writeFiles();
    QFile second(f.files[1].path);
    ASSERT_TRUE(second.open(QIODevice::ReadWrite));
    second.seek(1000);
    second.write("spoiled");
    second.close();
    PieceStore store(f.geometry, f.files, f.hashes);
    QSignalSpy verified(&store, &PieceStore::pieceVerified);
    QSignalSpy failed(&store, &PieceStore::pieceFailed);
    PZIndexSet blocks(f.geometry.blockCount());
    for (quint64 b = 0; b < 4; ++b)
        blocks.addIndex(b);
    store.restore(blocks, PZIndexSet(f.geometry.pieceCount()));
    settle();
    ASSERT_EQ(verified.count(), 1);
    EXPECT_EQ(verified.at(0).at(0).toUInt(), 0u);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toUInt(), 1u);
    EXPECT_EQ(store.storedBlocks().count(), 2) << "the spoiled piece's blocks come again";
}

TEST(PieceStore, KeepsBitfieldFiles)
{
    Fixture f(16384, {16384 * 3});
    PieceStore store(f.geometry, f.files, f.hashes);
    store.setBitfieldFolder(f.dir.path());
    ASSERT_TRUE(f.store(store, 0));
    ASSERT_TRUE(f.store(store, 2));
    settle();
    store.saveBitfields();
    settle();
    EXPECT_EQ(test::readFile(f.dir.filePath(QStringLiteral("downloadedPieces.bitfield"))), QByteArray::fromHex("a0"));
}

TEST(PieceStore, CreatesWantedEmptyFilesOnly)
{
    Fixture f(16384, {16384, 0, 0});
    f.files[2].wanted = false;
    PieceStore store(f.geometry, f.files, f.hashes);
    store.createEmptyFiles();
    settle();
    EXPECT_TRUE(QFileInfo(f.files[1].path).isFile());
    EXPECT_FALSE(QFileInfo::exists(f.files[2].path));
}

TEST(PieceStore, DestroyedWithQueuedWorkWritesNothingMore)
{
    Fixture f(16384, {16384 * 64});
    {
        PieceStore store(f.geometry, f.files, f.hashes);
        for (quint64 b = 0; b < 64; ++b)
            f.store(store, b);
    }  // queued blocks are dropped, a running one finishes
    PieceStore::storeQueue().drain();
    const qint64 sizeAfter = QFileInfo(f.files[0].path).exists() ? QFileInfo(f.files[0].path).size() : 0;
    QTest::qWait(50);
    PieceStore::storeQueue().drain();
    const qint64 sizeLater = QFileInfo(f.files[0].path).exists() ? QFileInfo(f.files[0].path).size() : 0;
    EXPECT_EQ(sizeAfter, sizeLater);
}

TEST(FileHandleCache, ClosesLeastRecentlyUsedButNeverUnderAUser)
{
    QTemporaryDir dir;
    FileHandleCache cache(FileHandleCache::Mode::ReadWrite, 16);
    auto first = cache.open(dir.filePath(QStringLiteral("f0")));
    ASSERT_TRUE(first);
    for (int i = 1; i <= 16; ++i)
        ASSERT_TRUE(cache.open(dir.filePath(QStringLiteral("f%1").arg(i))));
    EXPECT_EQ(cache.openCount(), 16u);
    // f0 was dropped from the cache, but our handle still writes to it.
    EXPECT_TRUE(first->writeAt("abc", 3, 0));
    EXPECT_EQ(test::readFile(dir.filePath(QStringLiteral("f0"))), QByteArray("abc"));
    // Opening it again gives a fresh handle.
    EXPECT_NE(cache.open(dir.filePath(QStringLiteral("f0"))), first);

    FileHandleCache readers(FileHandleCache::Mode::ReadOnly, 16);
    EXPECT_FALSE(readers.open(dir.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}
