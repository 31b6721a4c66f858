#include "engine/storage/PieceGeometry.h"

#include <gtest/gtest.h>

using namespace ombrelay;

struct GeometryCase
{
    qint64 pieceLength;
    qint64 total;
    quint32 pieces;
    quint32 blocksPerPiece;
    quint64 blocks;
    qint64 lastPieceBytes;
    qint64 lastBlockBytes;
};

class PieceGeometryCases : public testing::TestWithParam<GeometryCase>
{
};

TEST_P(PieceGeometryCases, CountsPiecesAndBlocks)
{
    const GeometryCase c = GetParam();
    const PieceGeometry g(c.pieceLength, c.total);
    ASSERT_TRUE(g.isValid());
    EXPECT_EQ(g.pieceCount(), c.pieces);
    EXPECT_EQ(g.blocksPerPiece(), c.blocksPerPiece);
    EXPECT_EQ(g.blockCount(), c.blocks);
    EXPECT_EQ(g.bytesInPiece(c.pieces - 1), c.lastPieceBytes);
    EXPECT_EQ(g.blockLength(c.blocks - 1), c.lastBlockBytes);
    EXPECT_EQ(g.blockSpan(c.blocks - 1).end(), c.total);
    EXPECT_EQ(g.blockSpan(c.blocks).length, 0);  // beyond the torrent
}

INSTANTIATE_TEST_SUITE_P(Torrents, PieceGeometryCases,
                         testing::Values(GeometryCase{262144, 600000, 3, 16, 37, 75712, 10176},
                                         GeometryCase{100000, 700000, 7, 7, 49, 100000, 1696},
                                         GeometryCase{16384, 16384, 1, 1, 1, 16384, 16384},
                                         GeometryCase{32768, 1, 1, 2, 1, 1, 1},
                                         GeometryCase{100, 600000, 6000, 1, 6000, 100, 100},
                                         GeometryCase{16385, 600000, 37, 2, 73, 10140, 10140},
                                         GeometryCase{1 << 20, 5 * (1 << 20) + 3, 6, 64, 321, 3, 3}),
                         [](const testing::TestParamInfo<GeometryCase>& info) {
                             return "piece" + std::to_string(info.param.pieceLength) + "_total" +
                                    std::to_string(info.param.total);
                         });

TEST(PieceGeometry, BlockPositions)
{
    const PieceGeometry g(262144, 600000);
    EXPECT_EQ(g.blockSpan(20), (PieceGeometry::Span{327680, 16384}));
    EXPECT_EQ(g.blockIndex(1, 16384 * 4), 20u);
    EXPECT_EQ(g.pieceOfBlock(36), 2u);

    const PieceGeometry odd(100000, 700000);
    EXPECT_EQ(odd.blockSpan(6), (PieceGeometry::Span{6 * 16384, 1696}));
    EXPECT_EQ(odd.blockSpan(7).start, 100000);
}

TEST(PieceGeometry, RefusesImpossibleLengths)
{
    EXPECT_FALSE(PieceGeometry(0, 100).isValid());
    EXPECT_FALSE(PieceGeometry(-1, 100).isValid());
    EXPECT_FALSE(PieceGeometry(qint64(1) << 31, 100).isValid());
    EXPECT_FALSE(PieceGeometry(16384, 0).isValid());
    EXPECT_FALSE(PieceGeometry(1, qint64(1) << 40).isValid());  // more than 2^32 pieces
}

TEST(PieceGeometry, AcceptsOnlyWholeBlocks)
{
    const PieceGeometry g(262144, 600000);
    struct Case
    {
        quint32 piece, offset;
        qint64 length;
        bool whole;
    } cases[] = {
        {0, 0, 16384, true},
        {2, 4 * 16384, 10176, true},   // the short last block
        {2, 4 * 16384, 16384, false},  // longer than the last block
        {0, 0, 16383, false},
        {0, 100, 16384, false},        // misaligned
        {3, 0, 16384, false},          // no such piece
        {0, 262144, 16384, false},     // offset past the piece
        {0xFFFFFFFF, 0, 16384, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(g.isWholeBlock(c.piece, c.offset, c.length), c.whole) << c.piece << " " << c.offset << " " << c.length;
}

TEST(PieceGeometry, SpansInsideAPiece)
{
    const PieceGeometry g(262144, 600000);
    EXPECT_TRUE(g.isInsidePiece(0, 0, 262144));
    EXPECT_FALSE(g.isInsidePiece(0, 1, 262144));
    EXPECT_FALSE(g.isInsidePiece(0, 0, 0));
    EXPECT_TRUE(g.isInsidePiece(2, 75711, 1));
    EXPECT_FALSE(g.isInsidePiece(2, 75712, 1));
    EXPECT_FALSE(g.isInsidePiece(0, 0xFFFFFFFF, 0x7FFFFFFF));
}

TEST(PieceGeometry, OverlappingRanges)
{
    const PieceGeometry g(262144, 600000);
    auto pieces = g.piecesOverlapping({262143, 2});
    EXPECT_EQ(pieces.first, 0u);
    EXPECT_EQ(pieces.last, 1u);
    EXPECT_TRUE(g.piecesOverlapping({262144, 0}).isEmpty());
    EXPECT_TRUE(g.piecesOverlapping({600000, 10}).isEmpty());
    auto blocks = g.blocksOverlapping({16383, 2});
    EXPECT_EQ(blocks.first, 0u);
    EXPECT_EQ(blocks.last, 1u);
    blocks = g.blocksOverlapping({524288, 75712});
    EXPECT_EQ(blocks.first, 32u);
    EXPECT_EQ(blocks.last, 36u);
}
