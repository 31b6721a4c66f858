#include "HeldQueue.h"
#include "engine/storage/PieceStore.h"
#include "kit/SerialQueue.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

// Pieces are hashed on the hash queue while writes go on. A piece forgotten and written again while its
// first check still waits gets exactly one verdict, from the data it holds now.
TEST(PieceCheckTest, APieceWrittenAgainWhileItsCheckWaitsGetsOneVerdict)
{
    struct Case
    {
        const char* name;
        bool firstRight;
        bool secondRight;
        int verified;
        int failed;
    };
    const Case cases[] = {
        {"wrong, then right", false, true, 1, 0},
        {"right, then wrong", true, false, 0, 1},
        {"right twice", true, true, 1, 0},
        {"wrong twice", false, false, 0, 1},
    };
    constexpr qint64 kPiece = 32768;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QByteArray content = test::seededRandomBytes(2 * kPiece, 5);
        const PieceGeometry geometry(kPiece, 2 * kPiece);
        const QString path = dir.filePath(QStringLiteral("payload.bin"));
        PieceStore store(geometry, {{path, 0, 2 * kPiece, true}}, test::pieceHashes(content, kPiece));
        QSignalSpy verified(&store, &PieceStore::pieceVerified);
        QSignalSpy failed(&store, &PieceStore::pieceFailed);
        const auto writePiece = [&](bool right) {
            QByteArray piece = content.left(kPiece);
            if (!right)
                piece[100] = char(piece[100] ^ 1);
            EXPECT_TRUE(store.storeBlock(0, 0, piece.left(16384)));
            EXPECT_TRUE(store.storeBlock(0, 16384, piece.mid(16384)));
            PieceStore::storeQueue().drain();
        };

        // Piece 0's hash queue is held, so the first check waits behind it.
        std::atomic<bool> release{false};
        test::holdQueue(PieceStore::hashQueue(0), release);
        writePiece(c.firstRight);
        store.forgetPieces({0});
        PieceStore::storeQueue().drain();
        writePiece(c.secondRight);
        release = true;
        PieceStore::drainQueues();
        QCoreApplication::processEvents();

        EXPECT_EQ(verified.count(), c.verified);
        EXPECT_EQ(failed.count(), c.failed);
        EXPECT_EQ(store.verifiedPieces().containsIndex(0), c.verified == 1);
        if (c.verified == 1) {
            EXPECT_EQ(test::readFile(path).left(kPiece), content.left(kPiece));
        }
    }
}

// Matched pieces are synced on the sync queue while writes go on. A piece forgotten while its files
// sync never counts from that sync; written again meanwhile, it counts once, from its own later sync.
TEST(PieceCheckTest, APieceForgottenWhileItsFilesSyncCountsOnlyFromItsOwnSync)
{
    struct Case
    {
        const char* name;
        bool forget;
        bool writeAgain;
        int verified;
    };
    const Case cases[] = {
        {"left alone", false, false, 1},
        {"forgotten", true, false, 0},
        {"forgotten and written again", true, true, 1},
    };
    constexpr qint64 kPiece = 32768;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QByteArray content = test::seededRandomBytes(kPiece, 9);
        const QString path = dir.filePath(QStringLiteral("payload.bin"));
        PieceStore store(PieceGeometry(kPiece, kPiece), {{path, 0, kPiece, true}}, test::pieceHashes(content, kPiece));
        QSignalSpy verified(&store, &PieceStore::pieceVerified);
        const auto writePiece = [&] {
            EXPECT_TRUE(store.storeBlock(0, 0, content.left(16384)));
            EXPECT_TRUE(store.storeBlock(0, 16384, content.mid(16384)));
        };

        // The sync queue is held: the piece's check matches and its sync waits.
        std::atomic<bool> release{false};
        test::holdQueue(PieceStore::syncQueue(), release);
        writePiece();
        PieceStore::storeQueue().drain();
        PieceStore::hashQueue(0).drain();
        PieceStore::storeQueue().drain();
        if (c.forget) {
            store.forgetPieces({0});
            PieceStore::storeQueue().drain();
        }
        if (c.writeAgain) {
            writePiece();
            PieceStore::storeQueue().drain();
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(verified.count(), 0);
        release = true;
        PieceStore::drainQueues();
        QCoreApplication::processEvents();

        EXPECT_EQ(verified.count(), c.verified);
        EXPECT_EQ(store.verifiedPieces().containsIndex(0), c.verified == 1);
        EXPECT_EQ(store.storedBlocks().count(), c.forget && !c.writeAgain ? 0 : 2);
    }
}

// Blocks handed over before another of the store's jobs are written before it, those handed over after
// it after it, however the writes are batched.
TEST(PieceCheckTest, BlocksKeepTheirOrderWithTheStoresOtherJobs)
{
    constexpr qint64 kPiece = 65536;
    QTemporaryDir dir;
    const QByteArray content = test::seededRandomBytes(kPiece, 11);
    const QString path = dir.filePath(QStringLiteral("payload.bin"));
    PieceStore store(PieceGeometry(kPiece, kPiece), {{path, 0, kPiece, true}}, test::pieceHashes(content, kPiece));
    // The store queue is held so that every block below waits in one batch unless something closes it.
    std::atomic<bool> release{false};
    test::holdQueue(PieceStore::storeQueue(), release);
    EXPECT_TRUE(store.storeBlock(0, 0, content.left(16384)));
    EXPECT_TRUE(store.storeBlock(0, 16384, content.mid(16384, 16384)));
    store.forgetPieces({0});
    EXPECT_TRUE(store.storeBlock(0, 32768, content.mid(32768, 16384)));
    release = true;
    PieceStore::drainQueues();
    QCoreApplication::processEvents();

    EXPECT_FALSE(store.storedBlocks().containsIndex(0));
    EXPECT_FALSE(store.storedBlocks().containsIndex(1));
    EXPECT_TRUE(store.storedBlocks().containsIndex(2));
    EXPECT_FALSE(store.storedBlocks().containsIndex(3));
}

}  // namespace
