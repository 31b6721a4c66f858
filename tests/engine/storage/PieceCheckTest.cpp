#include "engine/storage/PieceStore.h"
#include "kit/SerialQueue.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

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
        PieceStore::hashQueue(0).post(&release, [&release] {
            QElapsedTimer timer;
            timer.start();
            while (!release && timer.elapsed() < 10000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
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
        if (c.verified == 1)
            EXPECT_EQ(test::readFile(path).left(kPiece), content.left(kPiece));
    }
}

}  // namespace
