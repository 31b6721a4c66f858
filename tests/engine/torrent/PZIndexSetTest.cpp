#include "engine/torrent/PZIndexSet.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <thread>

namespace ombrelay {

void PrintTo(const PZIndexSet& set, std::ostream* out)
{
    *out << set.capacity() << " " << set.description().toStdString();
}

namespace {

PZIndexSet setOf(quint64 capacity, std::initializer_list<quint64> members)
{
    PZIndexSet set(capacity);
    for (quint64 index : members)
        EXPECT_TRUE(set.addIndex(index));
    return set;
}

TEST(PZIndexSet, BitfieldsInWireOrder)
{
    const struct { PZIndexSet set; QByteArray hex; qint64 count; } cases[] = {
        {setOf(8, {0}), "80", 1},
        {setOf(1, {0}), "80", 1},
        {setOf(10, {0, 9}), "8040", 2},
        {setOf(16, {7, 8, 15}), "0181", 3},
        {setOf(70, {63, 64, 69}), "000000000000000184", 3},
        {PZIndexSet(0), "", 0},
        {PZIndexSet(9), "0000", 0},
        {PZIndexSet::filledSetWithLength(10), "ffc0", 10},
        {PZIndexSet::filledSetWithLength(16), "ffff", 16},
        {PZIndexSet::filledSetWithLength(65), "ffffffffffffffff80", 65},
        {PZIndexSet::filledSetWithLength(0), "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.set.bitfield().toHex(), c.hex);
        EXPECT_EQ(c.set.count(), c.count) << c.hex.toStdString();
        PZIndexSet copy(c.set.capacity());
        EXPECT_TRUE(copy.setBitfield(QByteArray::fromHex(c.hex)));
        EXPECT_EQ(copy, c.set) << c.hex.toStdString();
        EXPECT_EQ(copy.count(), c.count) << c.hex.toStdString();
    }
}

TEST(PZIndexSet, CapacityRefusesIndexesBeyondIt)
{
    PZIndexSet set(10);
    for (quint64 index : {quint64(10), quint64(11), quint64(1) << 32, ~quint64(0)}) {
        EXPECT_FALSE(set.addIndex(index));
        EXPECT_FALSE(set.containsIndex(index));
        set.removeIndex(index);
    }
    EXPECT_EQ(set.bitfield().size(), 2);
    EXPECT_EQ(set.count(), 0);
    EXPECT_TRUE(set.addIndex(9));
    EXPECT_TRUE(set.containsIndex(9));
    set.removeIndex(1000);
    EXPECT_EQ(set.bitfield().toHex(), "0040");
}

TEST(PZIndexSet, SetBitfieldValidatesPeerInput)
{
    const struct { quint64 capacity; QByteArray hex; bool accepted; } cases[] = {
        {10, "ffc0", true},
        {10, "ffe0", false},    // spare bit set
        {10, "ff", false},      // short
        {10, "ffc000", false},  // long
        {16, "ffff", true},
        {16, "ffff00", false},
        {0, "", true},
        {0, "00", false},
        {1, "80", true},
        {1, "c0", false},
    };
    for (const auto& c : cases) {
        PZIndexSet set = setOf(c.capacity, {});
        if (c.capacity > 0)
            set.addIndex(0);
        const QByteArray before = set.bitfield();
        EXPECT_EQ(set.setBitfield(QByteArray::fromHex(c.hex)), c.accepted) << c.hex.toStdString();
        EXPECT_EQ(set.bitfield(), c.accepted ? QByteArray::fromHex(c.hex) : before) << c.hex.toStdString();
    }
}

TEST(PZIndexSet, CountFollowsEveryChange)
{
    PZIndexSet set(100);
    EXPECT_EQ(set.count(), 0);
    set.addIndex(5);
    set.addIndex(5);
    set.addIndex(99);
    EXPECT_EQ(set.count(), 2);
    set.removeIndex(5);
    set.removeIndex(5);
    EXPECT_EQ(set.count(), 1);
    set.addIndexSet(setOf(100, {1, 2, 99}));
    EXPECT_EQ(set.count(), 3);
    set.intersectWithIndexSet(setOf(100, {2, 99}));
    EXPECT_EQ(set.count(), 2);
    set.removeAllIndexes();
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(set.bitfield(), QByteArray(13, '\0'));
}

TEST(PZIndexSet, Ranges)
{
    const PZIndexSet set = setOf(200, {0, 1, 63, 64, 65, 130, 199});
    const struct { quint64 location, length; qint64 count; } cases[] = {
        {0, 4, 2}, {0, 200, 7}, {0, ~quint64(0), 7}, {63, 2, 2}, {62, 70, 4},
        {64, 1, 1}, {66, 64, 0}, {66, 65, 1}, {199, 1, 1}, {200, 5, 0}, {5, 0, 0}, {~quint64(0), 10, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(set.countWithinRange(c.location, c.length), c.count) << c.location << "+" << c.length;
    EXPECT_FLOAT_EQ(setOf(4, {0, 1}).fractionWithinRange(0, 4), 0.5f);
    EXPECT_FLOAT_EQ(set.fractionWithinRange(0, 0), 0.0f);
    EXPECT_EQ(set.indexArray(), (std::vector<quint64>{0, 1, 63, 64, 65, 130, 199}));
    EXPECT_EQ(set.description(), "(0-1 63-65 130 199)");
    EXPECT_EQ(PZIndexSet(5).description(), "()");
}

TEST(PZIndexSet, Algebra)
{
    const PZIndexSet a = setOf(10, {1, 2, 3});
    const PZIndexSet b = setOf(10, {2});
    const PZIndexSet longer = setOf(100, {2, 3, 90});

    EXPECT_EQ(a.setBySubtractingSet(b), setOf(10, {1, 3}));
    EXPECT_EQ(a.setBySubtractingSet(longer), setOf(10, {1}));
    EXPECT_EQ(a.setBySubtractingSet(a), PZIndexSet(10));
    EXPECT_EQ(a.setByIntersectingWithSet(longer), setOf(10, {2, 3}));  // keeps its capacity
    EXPECT_EQ(a.setByAddingSet(longer), setOf(100, {1, 2, 3, 90}));   // widens to the larger
    EXPECT_EQ(longer.setByAddingSet(a), setOf(100, {1, 2, 3, 90}));

    EXPECT_TRUE(a.intersectsSet(b));
    EXPECT_FALSE(b.intersectsSet(setOf(10, {1, 3})));
    EXPECT_FALSE(a.intersectsSet(PZIndexSet(10)));
    EXPECT_TRUE(a.containsSet(b));
    EXPECT_FALSE(b.containsSet(a));
    EXPECT_TRUE(a.containsSet(PZIndexSet(1000)));        // empty
    EXPECT_FALSE(a.containsSet(setOf(1000, {2, 500})));   // a member beyond a's capacity
    EXPECT_TRUE(a.containsSet(a));
    EXPECT_TRUE(a.intersectsSet(a));
}

TEST(PZIndexSet, RandomIndexIsUniformOverMembers)
{
    EXPECT_EQ(PZIndexSet(100).randomIndex(), -1);
    EXPECT_EQ(setOf(100, {17}).randomIndex(), 17);

    // Index 0 is alone in its byte, 8 to 15 share one; each of the nine must come up about 1/9 of the time.
    const PZIndexSet set = setOf(16, {0, 8, 9, 10, 11, 12, 13, 14, 15});
    std::map<qint64, int> draws;
    const int total = 9000;
    for (int n = 0; n < total; ++n)
        ++draws[set.randomIndex()];
    EXPECT_EQ(draws.size(), 9u);
    for (const auto& [index, times] : draws) {
        EXPECT_TRUE(set.containsIndex(quint64(index))) << index;
        EXPECT_GT(times, 700) << index;   // expected 1000, standard deviation about 30
        EXPECT_LT(times, 1300) << index;
    }
}

TEST(PZIndexSet, OppositeCombinationsDoNotDeadlock)
{
    PZIndexSet a = setOf(1000, {1});
    PZIndexSet b = setOf(1000, {2});
    auto combine = [](PZIndexSet& into, const PZIndexSet& from) {
        for (int n = 0; n < 20000; ++n) {
            into.addIndexSet(from);
            (void)into.containsSet(from);
        }
    };
    std::thread first(combine, std::ref(a), std::cref(b));
    std::thread second(combine, std::ref(b), std::cref(a));
    first.join();
    second.join();
    EXPECT_EQ(a, setOf(1000, {1, 2}));
    EXPECT_EQ(b, setOf(1000, {1, 2}));
}

}  // namespace
}  // namespace ombrelay
