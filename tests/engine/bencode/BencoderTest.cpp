#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"

#include <gtest/gtest.h>

namespace ombrelay {
namespace {

TEST(Bencoder, Encodings)
{
    BValue::Dict keys;
    keys["b"] = 1;
    keys["a"] = 2;
    keys[QByteArray("\x80")] = 3;  // raw byte order: above every ASCII key
    keys["B"] = 4;
    keys[""] = 5;

    const struct { BValue value; QByteArray encoding; } cases[] = {
        {BValue(0), "i0e"},
        {BValue(-42), "i-42e"},
        {BValue(qint64(1) << 40), "i1099511627776e"},
        {BValue(std::numeric_limits<qint64>::min()), "i-9223372036854775808e"},
        {BValue(QString::fromUtf8("\xc3\xa9")), "2:\xc3\xa9"},
        {BValue(QByteArray("\x00\xff", 2)), QByteArray("2:\x00\xff", 4)},
        {BValue(""), "0:"},
        {BValue::list(), "le"},
        {BValue::dictionary(), "de"},
        {BValue(keys), "d0:i5e1:Bi4e1:ai2e1:bi1e1:\x80i3ee"},
        {BValue(BValue::List{BValue(1), BValue("x"), BValue(BValue::List{})}), "li1e1:xlee"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Bencoder::bencodingForObject(c.value), c.encoding) << c.encoding.toStdString();
        EXPECT_EQ(Bdecoder(c.encoding, Bdecoder::kMetainfoLimit).object(), c.value) << c.encoding.toStdString();
    }
}

TEST(Bencoder, RefusesWhatCannotBeWritten)
{
    EXPECT_TRUE(Bencoder::bencodingForObject(BValue()).isNull());
    BValue list = BValue::list();
    list.append(BValue(1));
    list.append(BValue());
    EXPECT_TRUE(Bencoder::bencodingForObject(list).isNull());

    BValue deep = BValue::list();
    for (int depth = 1; depth < Bencoder::kMaxDepth; ++depth) {
        BValue outer = BValue::list();
        outer.append(std::move(deep));
        deep = std::move(outer);
    }
    EXPECT_EQ(Bencoder::bencodingForObject(deep).size(), 2 * Bencoder::kMaxDepth);
    BValue deeper = BValue::list();
    deeper.append(std::move(deep));
    EXPECT_TRUE(Bencoder::bencodingForObject(deeper).isNull());
}

}  // namespace
}  // namespace ombrelay
