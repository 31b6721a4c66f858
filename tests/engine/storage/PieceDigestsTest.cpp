#include "engine/storage/PieceDigests.h"

#include "kit/PZCrypto.h"
#include "support/RandomContent.h"

#include <gtest/gtest.h>
#include <vector>

using namespace ombrelay;
using ombrelay::test::seededRandomBytes;

namespace {

constexpr quint32 kBlock = 16384;
constexpr quint32 kPieceLength = 8 * kBlock;

struct DigestCase
{
    const char* name;
    std::vector<int> order;  // block numbers in the order they are written
    qint64 maxWaitingBytes;
    bool digested;           // whether the piece's digest comes from its blocks
};

class PieceDigestsCases : public ::testing::TestWithParam<DigestCase>
{
};

// A piece is digested from its blocks when they came in one pass, in any order the bound allows;
// otherwise there is no digest, never a wrong one.
TEST_P(PieceDigestsCases, DigestsAPieceOnlyFromEveryByteInOnePass)
{
    const DigestCase& c = GetParam();
    const QByteArray piece = seededRandomBytes(kPieceLength, 7);
    PieceDigests digests(c.maxWaitingBytes);
    for (int block : c.order)
        digests.add(3, quint32(block) * kBlock, piece.mid(block * kBlock, kBlock));
    const auto digest = digests.take(3, kPieceLength);
    ASSERT_EQ(digest.has_value(), c.digested);
    if (digest) {
        EXPECT_EQ(*digest, PZCrypto::sha1(piece));
    }
    EXPECT_EQ(digests.waitingBytes(), 0);
    EXPECT_FALSE(digests.take(3, kPieceLength).has_value()) << "taken once";
}

INSTANTIATE_TEST_SUITE_P(Orders, PieceDigestsCases,
                         ::testing::Values(DigestCase{"InOrder", {0, 1, 2, 3, 4, 5, 6, 7}, 0, true},
                                           DigestCase{"Reversed", {7, 6, 5, 4, 3, 2, 1, 0}, 7 * kBlock, true},
                                           DigestCase{"Shuffled", {2, 0, 5, 1, 3, 7, 4, 6}, 8 * kBlock, true},
                                           DigestCase{"GapPastTheBound", {7, 6, 5, 4, 3, 2, 1, 0}, 6 * kBlock, false},
                                           DigestCase{"BlockMissing", {0, 1, 2, 4, 5, 6, 7}, 8 * kBlock, false},
                                           DigestCase{"BlockTwice", {0, 1, 1, 2, 3, 4, 5, 6, 7}, 8 * kBlock, false},
                                           DigestCase{"WaitingBlockTwice", {1, 1, 0, 2, 3, 4, 5, 6, 7}, 8 * kBlock, false},
                                           DigestCase{"NothingWritten", {}, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PieceDigests, ForgettingAPieceReleasesItsWaitingBlocksAndStartsItOver)
{
    const QByteArray piece = seededRandomBytes(kPieceLength, 9);
    PieceDigests digests(kPieceLength);
    digests.add(1, kBlock, piece.mid(kBlock, kBlock));
    digests.add(2, kBlock, piece.mid(kBlock, kBlock));
    EXPECT_EQ(digests.waitingBytes(), 2 * kBlock);
    digests.forget(1);
    EXPECT_EQ(digests.waitingBytes(), kBlock);
    for (quint32 offset = 0; offset < kPieceLength; offset += kBlock)
        digests.add(1, offset, piece.mid(offset, kBlock));
    EXPECT_EQ(digests.take(1, kPieceLength), PZCrypto::sha1(piece));
    digests.clear();
    EXPECT_EQ(digests.waitingBytes(), 0);
    EXPECT_FALSE(digests.take(2, kPieceLength).has_value());
}

}  // namespace

namespace {

// Blocks waiting in one store's digests count against every other's: past the bound in all, a piece is
// read back instead of holding more bytes.
TEST(PieceDigests, BytesWaitingInAllInstancesAreBounded)
{
    const QByteArray block = seededRandomBytes(kBlock, 11);
    const qint64 before = PieceDigests::waitingBytesInAll();
    const qint64 room = PieceDigests::kMaxWaitingBytesInAll - before;
    {
        PieceDigests holding(PieceDigests::kMaxWaitingBytesInAll);
        for (quint32 piece = 0; piece < room / kBlock; ++piece)
            holding.add(piece, kBlock, block);  // each piece waits for its first block
        EXPECT_EQ(PieceDigests::waitingBytesInAll(), before + (room / kBlock) * kBlock);

        PieceDigests other(kPieceLength);
        other.add(0, kBlock, block);
        other.add(0, 0, block);
        EXPECT_FALSE(other.take(0, 2 * kBlock).has_value()) << "no room left to wait";
        EXPECT_EQ(other.waitingBytes(), 0);
    }
    EXPECT_EQ(PieceDigests::waitingBytesInAll(), before) << "released with their digests";
}

}  // namespace
