#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"

#include <gtest/gtest.h>

namespace ombrelay {
namespace {

BValue decode(const QByteArray& data)
{
    return Bdecoder(data, Bdecoder::kMetainfoLimit).takeObject();
}

TEST(Bdecoder, InfoHashIsOverTheInfoBytes)
{
    const Bdecoder decoder("d4:infod6:lengthi5eee", Bdecoder::kMetainfoLimit);
    ASSERT_TRUE(decoder.object().isDict());
    EXPECT_EQ(decoder.infoHash().toHex(), "ff27ad3e1e1c42b3e45645120ac37c72113515fd");
    EXPECT_TRUE(decoder.residualData().isEmpty());
    EXPECT_EQ(decoder.object()["info"]["length"].asInt(), 5);
}

TEST(Bdecoder, RepeatedKeyLastWins)
{
    const BValue value = decode("d1:ai1e1:ai2ee");
    ASSERT_TRUE(value.isDict());
    EXPECT_EQ(value.size(), 1);
    EXPECT_EQ(value["a"].asInt(), 2);
}

TEST(Bdecoder, ResidualAfterTopLevelList)
{
    const Bdecoder decoder("lexyz", Bdecoder::kMetainfoLimit);
    ASSERT_TRUE(decoder.object().isList());
    EXPECT_EQ(decoder.object().size(), 0);
    EXPECT_EQ(decoder.residualData(), "xyz");
}

TEST(Bencoder, RoundTrip)
{
    const QByteArray data("d1:ai-42e1:bl3:xyzi9223372036854775807eee");
    EXPECT_EQ(Bencoder::bencodingForObject(decode(data)), data);
}

}  // namespace
}  // namespace ombrelay
