#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"

#include "kit/PZCrypto.h"

#include <gtest/gtest.h>

namespace ombrelay {
namespace {

// Bytes of a literal, NULs included.
template <size_t N>
QByteArray raw(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

BValue decode(const QByteArray& data, qsizetype limit = Bdecoder::kMetainfoLimit)
{
    return Bdecoder(data, limit).takeObject();
}

QByteArray nested(int depth)
{
    return QByteArray(depth, 'l') + QByteArray(depth, 'e');
}

// Inputs that decode, with the canonical encoding of what they decode to.
TEST(Bdecoder, AcceptedInputs)
{
    const struct { QByteArray input; QByteArray canonical; } cases[] = {
        {"i42e", "i42e"},
        {"i-42e", "i-42e"},
        {"i0e", "i0e"},
        {"i-0e", "i0e"},
        {"i007e", "i7e"},  // leading zeros do no harm
        {"i9223372036854775807e", "i9223372036854775807e"},
        {"i-9223372036854775808e", "i-9223372036854775808e"},
        {"0:", "0:"},
        {"3:abc", "3:abc"},
        {"03:abc", "3:abc"},
        {"le", "le"},
        {"de", "de"},
        {"d1:ai1e1:ai2ee", "d1:ai2ee"},                  // repeated key: the last wins
        {"d1:bi2e1:ai1ee", "d1:ai1e1:bi2ee"},            // unsorted keys accepted
        {"d10:currentKey1:xe", "d10:currentKey1:xe"},    // an ordinary key
        {raw("d4:ed2k4:\x01\xff\x80\x00" "e"), raw("d4:ed2k4:\x01\xff\x80\x00" "e")},  // binary values stay bytes
        {raw("d2:\xff\x00i1e1:ai2ee"), raw("d1:ai2e2:\xff\x00i1ee")},                    // binary keys too
        {"l4:infoi1ee", "l4:infoi1ee"},
        {"ll3:abcelee", "ll3:abcelee"},
    };
    for (const auto& c : cases) {
        const BValue value = decode(c.input);
        ASSERT_FALSE(value.isNull()) << c.input.toStdString();
        EXPECT_EQ(Bencoder::bencodingForObject(value), c.canonical) << c.input.toStdString();
    }
}

TEST(Bdecoder, RefusedInputs)
{
    const QByteArray cases[] = {
        "",
        "e",
        "x",
        "i42",                    // unterminated integer
        "ie",
        "i-e",
        "i1x2e",
        "i+1e",
        "i 1e",
        "i9223372036854775808e",  // beyond 64 bits
        "i-9223372036854775809e",
        "i99999999999999999999999e",
        "li42",
        "l",
        "d",
        "3:ab",
        "ll3:ab",
        ":ab",
        "x:",
        "-1:a",
        "9223372036854775808:x",  // lengths that would overflow
        "9223372036854775807:x",
        "18446744073709551617:x",
        "4294967297:x",
        "d3:fooe",                // a key without its value
        "d1:a1:b1:ce",
        "di1ei2ee",               // keys must be byte strings
        "dle1:ae",
        "dde1:ae",
        "d1:ai1e",                // unterminated dictionary
    };
    for (const QByteArray& input : cases) {
        EXPECT_TRUE(decode(input).isNull()) << input.toStdString();
    }
}

TEST(Bdecoder, ResidualData)
{
    const struct { QByteArray input; QByteArray residual; } cases[] = {
        {"lexyz", "xyz"},
        {"d1:ai1eeXYZ", "XYZ"},
        {"lee", "e"},
        {"i1ei2e", "i2e"},
        {"le", ""},
        {"d1:ai1ee", ""},
    };
    for (const auto& c : cases) {
        const Bdecoder decoder(c.input, Bdecoder::kMetainfoLimit);
        EXPECT_FALSE(decoder.object().isNull()) << c.input.toStdString();
        EXPECT_EQ(decoder.residualData(), c.residual) << c.input.toStdString();
    }
    const Bdecoder emptyList("lexyz", Bdecoder::kMetainfoLimit);
    EXPECT_TRUE(emptyList.object().isList());
    EXPECT_EQ(emptyList.object().size(), 0);
}

// The info hash covers the bytes of the top-level "info" value as received, and nothing else.
TEST(Bdecoder, InfoHash)
{
    const struct { QByteArray input; QByteArray hashedBytes; } cases[] = {
        {"d4:infod6:lengthi5eee", "d6:lengthi5ee"},
        {"d1:ad4:infoi1ee4:infod6:lengthi5eee", "d6:lengthi5ee"},   // nested "info" before
        {"d4:infod6:lengthi5ee1:zd4:infoi1eee", "d6:lengthi5ee"},   // nested "info" after
        {"d4:infod6:lengthi5ee4:infoi2ee", "d6:lengthi5ee"},        // a second top-level "info"
        {"d4:infod1:b0:1:a0:ee", "d1:b0:1:a0:e"},                   // unsorted bytes hashed as they came
        {"d4:info5:helloe", "5:hello"},
        {"l4:infod1:ai1eee", ""},
        {"d1:ad4:infoi1eee", ""},
        {"d4:infoi1e", ""},                                          // refused
    };
    for (const auto& c : cases) {
        const Bdecoder decoder(c.input, Bdecoder::kMetainfoLimit);
        const QByteArray expected = c.hashedBytes.isEmpty() ? QByteArray() : PZCrypto::sha1(c.hashedBytes);
        EXPECT_EQ(decoder.infoHash().toHex(), expected.toHex()) << c.input.toStdString();
    }
    EXPECT_EQ(Bdecoder("d4:infod6:lengthi5eee", Bdecoder::kMetainfoLimit).infoHash().toHex(),
              "ff27ad3e1e1c42b3e45645120ac37c72113515fd");
}

TEST(Bdecoder, TheHashedInfoIsTheOneKept)
{
    const BValue value = decode("d4:infod6:lengthi5ee4:infod6:lengthi6eee");
    EXPECT_EQ(value["info"]["length"].asInt(), 5);
    // Elsewhere the last of repeated keys wins.
    EXPECT_EQ(decode("d1:xd4:infoi1e4:infoi2eee")["x"]["info"].asInt(), 2);
}

TEST(Bdecoder, NestingLimit)
{
    EXPECT_FALSE(decode(nested(Bdecoder::kMaxDepth)).isNull());
    EXPECT_TRUE(decode(nested(Bdecoder::kMaxDepth + 1)).isNull());
    // Far deeper than any stack would take, refused without recursing.
    EXPECT_TRUE(decode(QByteArray(10'000'000, 'l')).isNull());
    EXPECT_TRUE(decode(QByteArray(5'000'000, 'd')).isNull());
}

TEST(Bdecoder, ValueCountIsBounded)
{
    const QByteArray strings = QByteArray("0:").repeated(Bdecoder::kMaxValues - 1);
    EXPECT_EQ(decode("l" + strings + "e").size(), Bdecoder::kMaxValues - 1);
    EXPECT_TRUE(decode("l0:" + strings + "e").isNull());  // the list itself is one value too many
}

TEST(Bdecoder, InputCapIsTheCallers)
{
    const QByteArray data = "l" + QByteArray(100, '0').replace('0', "i1e") + "e";
    EXPECT_FALSE(decode(data, data.size()).isNull());
    EXPECT_TRUE(decode(data, data.size() - 1).isNull());
    EXPECT_TRUE(decode(QByteArray(Bdecoder::kDatagramLimit - 3, 'x').prepend("65530:"), Bdecoder::kDatagramLimit).isNull());
}

}  // namespace
}  // namespace ombrelay
