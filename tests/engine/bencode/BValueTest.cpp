#include "engine/bencode/BValue.h"

#include <gtest/gtest.h>

namespace ombrelay {
namespace {

TEST(BValue, Accessors)
{
    BValue dict;
    dict.insert("n", 7);
    dict.insert("s", "abc");
    dict.insert("l", BValue::List{BValue(1), BValue(2)});
    ASSERT_TRUE(dict.isDict());
    EXPECT_EQ(dict.size(), 3);
    EXPECT_EQ(dict["n"].asInt(), 7);
    EXPECT_EQ(dict["s"].asText(), "abc");
    EXPECT_EQ(dict["s"].size(), 3);
    EXPECT_EQ(dict["l"].at(1).asInt(), 2);
    EXPECT_TRUE(dict["l"].at(2).isNull());
    EXPECT_TRUE(dict["l"].at(-1).isNull());
    EXPECT_EQ(dict.find("missing"), nullptr);
    EXPECT_TRUE(dict["missing"]["deeper"].isNull());
    // Wrong types give empty answers rather than failing.
    EXPECT_EQ(dict["s"].asInt(-1), -1);
    EXPECT_TRUE(dict["n"].asBytes().isEmpty());
    EXPECT_TRUE(dict["n"].asText().isNull());
    EXPECT_TRUE(dict["n"].asList().empty());
    EXPECT_EQ(dict["n"].find("x"), nullptr);
    // insert on a list, append on a dictionary change nothing.
    BValue list = BValue::list();
    list.insert("k", 1);
    dict.append(1);
    EXPECT_EQ(list.size(), 0);
    EXPECT_EQ(dict.size(), 3);
}

TEST(BValue, Text)
{
    const struct { QByteArray bytes; QString text; } cases[] = {
        {"plain", "plain"},
        {"\xc3\xa9t\xc3\xa9", QString::fromUtf8("\xc3\xa9t\xc3\xa9")},
        {"\xe9t\xe9", QString::fromLatin1("\xe9t\xe9")},  // not UTF-8
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BValue(c.bytes).asText(), c.text) << c.bytes.toHex().toStdString();
        EXPECT_FALSE(BValue(c.bytes).asText().isNull());
    }
}

TEST(BValue, CopiesAreDeep)
{
    BValue original;
    original.insert("l", BValue::List{BValue(1)});
    BValue copy = original;
    EXPECT_EQ(copy, original);
    copy.insert("x", 2);
    EXPECT_EQ(original.size(), 1);
    EXPECT_NE(copy, original);
    BValue moved = std::move(copy);
    EXPECT_TRUE(copy.isNull());
    EXPECT_EQ(moved.size(), 2);
}

TEST(BValue, DeepValuesAreDestroyedWithoutRecursion)
{
    BValue deep = BValue::list();
    for (int depth = 0; depth < 1'000'000; ++depth) {
        BValue outer = depth % 2 ? BValue::list() : BValue::dictionary();
        if (outer.isList())
            outer.append(std::move(deep));
        else
            outer.insert("k", std::move(deep));
        deep = std::move(outer);
    }
    EXPECT_TRUE(deep.isDict() || deep.isList());
    deep = BValue();
    EXPECT_TRUE(deep.isNull());
}

}  // namespace
}  // namespace ombrelay
