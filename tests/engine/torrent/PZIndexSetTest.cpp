#include "engine/torrent/PZIndexSet.h"

#include <gtest/gtest.h>

namespace ombrelay {
namespace {

TEST(PZIndexSet, AddGivesWireBitOrder)
{
    PZIndexSet set(10);
    EXPECT_TRUE(set.addIndex(0));
    EXPECT_EQ(set.bitfield().toHex(), "8000");
    EXPECT_TRUE(set.addIndex(9));
    EXPECT_EQ(set.bitfield().toHex(), "8040");
    EXPECT_EQ(set.count(), 2);
    EXPECT_FALSE(set.addIndex(10));
    EXPECT_EQ(PZIndexSet::filledSetWithLength(10).bitfield().toHex(), "ffc0");
}

}  // namespace
}  // namespace ombrelay
