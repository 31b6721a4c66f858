#include "engine/blocklist/BlocklistText.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using Range = BlocklistText::Range;

namespace {

constexpr quint32 ip(quint32 w, quint32 x, quint32 y, quint32 z)
{
    return w << 24 | x << 16 | y << 8 | z;
}

}  // namespace

TEST(BlocklistText, ParsesAddresses)
{
    struct Case
    {
        const char* text;
        std::optional<quint32> address;
    };
    const Case cases[] = {
        {"1.2.3.4", ip(1, 2, 3, 4)},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"001.002.003.004", ip(1, 2, 3, 4)},
        {" 10.0.0.1\t", ip(10, 0, 0, 1)},
        {"256.1.1.1", std::nullopt},   // above 255
        {"1.2.3.999", std::nullopt},
        {"1.2.3.0004", std::nullopt},  // four digits
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1..3.4", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"-1.2.3.4", std::nullopt},
        {"1.2.3.4x", std::nullopt},
        {"1.2 .3.4", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BlocklistText::parseAddress(c.text), c.address) << c.text;
}

TEST(BlocklistText, ParsesLines)
{
    struct Case
    {
        const char* line;
        std::optional<Range> range;
    };
    const Case cases[] = {
        {"x:1.2.3.0-1.2.3.255", Range{ip(1, 2, 3, 0), ip(1, 2, 3, 255)}},
        {"Some Org:10.0.0.1-10.0.0.1", Range{ip(10, 0, 0, 1), ip(10, 0, 0, 1)}},
        {"name:with:colons:8.8.8.0-8.8.8.9", Range{ip(8, 8, 8, 0), ip(8, 8, 8, 9)}},  // after the last colon
        {":1.1.1.1-1.1.1.2", Range{ip(1, 1, 1, 1), ip(1, 1, 1, 2)}},
        {"x:1.2.3.0 - 1.2.3.255 ", Range{ip(1, 2, 3, 0), ip(1, 2, 3, 255)}},
        {"1.2.3.0-1.2.3.255", std::nullopt},              // no name part
        {"x:1.2.3.0", std::nullopt},                      // no "-"
        {"x:1.2.3.0-1.2.3.5-1.2.3.9", std::nullopt},      // three addresses
        {"x:1.2.3.300-1.2.3.255", std::nullopt},          // part above 255
        {"x:1.2.3.0-1.2.3.2555", std::nullopt},           // part of four digits
        {"x:1.2.3.9-1.2.3.0", std::nullopt},              // first above last
        {"# comment", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BlocklistText::parseLine(c.line), c.range) << c.line;

    const QByteArray longLine = QByteArray(BlocklistText::kMaxLineBytes, 'n') + ":1.2.3.0-1.2.3.255";
    EXPECT_FALSE(BlocklistText::parseLine(longLine));
}

TEST(BlocklistText, SplitsOnNewlinesAndDropsCarriageReturns)
{
    const QByteArray text = "a:1.0.0.0-1.0.0.9\r\n"
                            "b:2.0.0.0-2.0.0.9\n"       // bare newline
                            "junk\r\n"
                            "c:3.0.0.0-3.0.0.9\r\r\n"   // a stray "\r" stays and spoils the line
                            "d:4.0.0.0-4.0.0.9";        // no final newline
    const std::optional<BlocklistText::Parsed> parsed = BlocklistText::parse(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->lineCount, 5);
    EXPECT_EQ(parsed->usableLines, 3);
    const QVector<Range> expected{{ip(1, 0, 0, 0), ip(1, 0, 0, 9)},
                                  {ip(2, 0, 0, 0), ip(2, 0, 0, 9)},
                                  {ip(4, 0, 0, 0), ip(4, 0, 0, 9)}};
    EXPECT_EQ(parsed->ranges, expected);
}

TEST(BlocklistText, MergesOverlappingNestedAndAdjacentRanges)
{
    struct Case
    {
        const char* name;
        QVector<Range> input;
        QVector<Range> merged;
    };
    const Case cases[] = {
        {"nested", {{10, 100}, {20, 30}}, {{10, 100}}},
        {"nested, inner first", {{20, 30}, {10, 100}}, {{10, 100}}},
        {"overlapping", {{10, 50}, {40, 90}}, {{10, 90}}},
        {"adjacent", {{10, 19}, {20, 30}}, {{10, 30}}},
        {"same lower bound, the wider wins", {{10, 12}, {10, 80}, {10, 20}}, {{10, 80}}},
        {"disjoint, unsorted", {{50, 60}, {10, 20}}, {{10, 20}, {50, 60}}},
        {"a chain", {{1, 5}, {3, 9}, {9, 12}, {30, 31}, {13, 14}}, {{1, 14}, {30, 31}}},
        {"the top of the space", {{0xFFFFFF00u, 0xFFFFFFFFu}, {0xFFFFFFF0u, 0xFFFFFFFFu}, {0, 0}},
         {{0, 0}, {0xFFFFFF00u, 0xFFFFFFFFu}}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) {
        QVector<Range> ranges = c.input;
        BlocklistText::mergeRanges(ranges);
        EXPECT_EQ(ranges, c.merged) << c.name;
    }
}

TEST(BlocklistText, RefusesTextOverTheCap)
{
    const QByteArray huge(BlocklistText::kMaxTextBytes + 1, '\n');
    EXPECT_FALSE(BlocklistText::parse(huge));
    EXPECT_TRUE(BlocklistText::parse(QByteArray(1000, '\n')));
}
