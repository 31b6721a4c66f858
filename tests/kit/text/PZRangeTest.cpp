#include "kit/PZRange.h"

#include <gtest/gtest.h>

using namespace ombrelay;

TEST(PZRange, EmptinessAndIntersection)
{
    EXPECT_TRUE(PZRangeIsEmpty(PZMakeRange(0, 0)));
    EXPECT_FALSE(PZRangeIsEmpty(PZMakeRange(5, 0)));
    EXPECT_EQ(PZMaxRange(PZMakeRange(5, 10)), 15u);

    struct Case
    {
        PZRange a, b;
        bool intersect;
        PZRange intersection;
    };
    const Case cases[] = {
        {{0, 10}, {10, 5}, false, {10, 0}},
        {{0, 10}, {5, 10}, true, {5, 5}},
        {{0, 5}, {10, 5}, false, {0, 0}},
        {{2, 3}, {0, 100}, true, {2, 3}},
        {{5, 0}, {0, 10}, false, {5, 0}},
        {{1ull << 40, 1ull << 33},
         {(1ull << 40) + 10, 1ull << 34},
         true,
         {(1ull << 40) + 10, (1ull << 33) - 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.a.location << "+" << c.a.length << " " << c.b.location << "+" << c.b.length);
        EXPECT_EQ(PZRangesIntersect(c.a, c.b), c.intersect);
        EXPECT_EQ(PZRangesIntersect(c.b, c.a), c.intersect);
        EXPECT_EQ(PZIntersectionRange(c.a, c.b), c.intersection);
        EXPECT_EQ(PZIntersectionRange(c.b, c.a), c.intersection);
    }
}
