#include "DhtTestHelpers.h"
#include "engine/dht/DHTBucket.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::dhttest;

TEST(DHTIdentifier, FromDataTakesExactlyTwentyBytes)
{
    EXPECT_FALSE(DHTIdentifier::fromData(QByteArray(19, 'a')));
    EXPECT_FALSE(DHTIdentifier::fromData(QByteArray(21, 'a')));
    EXPECT_FALSE(DHTIdentifier::fromData(QByteArray()));
    const QByteArray bytes = QByteArray::fromHex("00112233445566778899aabbccddeeff01234567");
    ASSERT_TRUE(DHTIdentifier::fromData(bytes));
    EXPECT_EQ(DHTIdentifier::fromData(bytes)->data(), bytes);
}

TEST(DHTIdentifier, MidpointIsTheFloorOfTheHalfSumWithoutOverflow)
{
    struct Case { const char* a; const char* b; const char* mid; };
    const Case cases[] = {
        {"0", "ffffffffffffffffffffffffffffffffffffffff", "7fffffffffffffffffffffffffffffffffffffff"},
        {"ffffffffffffffffffffffffffffffffffffffff", "ffffffffffffffffffffffffffffffffffffffff",
         "ffffffffffffffffffffffffffffffffffffffff"},
        {"fffffffffffffffffffffffffffffffffffffffe", "ffffffffffffffffffffffffffffffffffffffff",
         "fffffffffffffffffffffffffffffffffffffffe"},
        {"1", "2", "1"},
        {"0", "0", "0"},
        {"7fffffffffffffffffffffffffffffffffffffff", "ffffffffffffffffffffffffffffffffffffffff",
         "bfffffffffffffffffffffffffffffffffffffff"},
        {"ff", "101", "100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " + " + c.b);
        EXPECT_EQ(DHTIdentifier::between(idFromHex(c.a), idFromHex(c.b)), idFromHex(c.mid));
        EXPECT_EQ(DHTIdentifier::between(idFromHex(c.b), idFromHex(c.a)), idFromHex(c.mid));
    }
}

TEST(DHTIdentifier, OrdersAsBigEndianNumbersAndTheDistanceIsXor)
{
    EXPECT_LT(idFromHex("ff"), idFromHex("100"));
    EXPECT_LT(idFromHex("0"), idFromHex("1"));
    EXPECT_LT(idFromHex("7fffffffffffffffffffffffffffffffffffffff"), idFromHex("8000000000000000000000000000000000000000"));
    EXPECT_EQ(DHTIdentifier::maxIdentifier().data(), QByteArray(20, '\xff'));
    EXPECT_EQ(idFromHex("f0").distanceTo(idFromHex("0f")), idFromHex("ff"));
    EXPECT_EQ(idFromHex("1234").distanceTo(idFromHex("1234")), DHTIdentifier());
}

TEST(DHTBucket, TopBucketHoldsTheLargestIdentifier)
{
    const DHTBucket whole(DHTIdentifier::minIdentifier(), DHTIdentifier::maxIdentifier());
    EXPECT_TRUE(whole.rangeIncludesIdentifier(DHTIdentifier::maxIdentifier()));
    EXPECT_TRUE(whole.rangeIncludesIdentifier(DHTIdentifier::minIdentifier()));
    const DHTBucket lower(DHTIdentifier::minIdentifier(), idFromHex("8000000000000000000000000000000000000000"));
    EXPECT_FALSE(lower.rangeIncludesIdentifier(idFromHex("8000000000000000000000000000000000000000")));
    EXPECT_TRUE(lower.rangeIncludesIdentifier(idFromHex("7fffffffffffffffffffffffffffffffffffffff")));
}
