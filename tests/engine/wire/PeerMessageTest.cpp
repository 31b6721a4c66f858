#include "engine/wire/PeerMessage.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

}  // namespace

TEST(PeerMessageTest, BuildersAreByteExact)
{
    EXPECT_EQ(PeerMessage::portMessage(6881), hex("00000003091AE1"));
    EXPECT_EQ(PeerMessage::simple(PeerMessage::HaveNone), hex("000000010F"));
    EXPECT_EQ(PeerMessage::simple(PeerMessage::HaveAll), hex("000000010E"));
    EXPECT_EQ(PeerMessage::withIndex(PeerMessage::Have, 0x01020304), hex("000000050401020304"));
    EXPECT_EQ(PeerMessage::blockMessage(PeerMessage::Request, 3, 0x34000, 576), hex("0000000D06000000030003400000000240"));
    EXPECT_EQ(PeerMessage::piece(1, 2, "ab"), hex("0000000B07000000010000000261" "62"));
    EXPECT_EQ(PeerMessage::keepAliveMessage(), hex("00000000"));
    EXPECT_EQ(PeerMessage::extensionHandshake(51413, 250, "V"),
              hex("0000003514") + QByteArray(1, '\0') + "d1:ei0e1:md6:ut_pexi1ee1:pi51413e4:reqqi250e1:v1:Ve");
}

TEST(PeerMessageTest, ReaderChecksLengthsAndIndexes)
{
    using S = PeerMessageReader::Status;
    struct Case
    {
        const char* name;
        QByteArray bytes;
        quint32 pieces;
        S status;
    };
    const Case cases[] = {
        {"three bytes of a length", hex("000000"), 10, S::NeedMore},
        {"keep-alive", hex("00000000"), 10, S::Message},
        {"have in range", hex("000000050400000009"), 10, S::Message},
        {"have out of range", hex("00000005040000000A"), 10, S::Fault},
        {"have of wrong length", hex("0000000604000000000000"), 10, S::Fault},
        {"bitfield exact", hex("0000000305FFC0"), 10, S::Message},
        {"bitfield spare bit", hex("0000000305FFE0"), 10, S::Fault},
        {"bitfield short", hex("0000000205FF"), 10, S::Fault},
        {"bitfield long, waits for nothing", hex("0000000505"), 10, S::Fault},
        {"huge piece length", hex("FFFFFFF007"), 10, S::Fault},
        {"largest tolerated piece", hex("0002000907"), 10, S::NeedMore},
        {"piece one byte over", hex("0002000A07"), 10, S::Fault},
        {"unknown id within 1 MiB", hex("0000000315AAAA"), 10, S::Message},
        {"unknown id over 1 MiB", hex("0010000215"), 10, S::Fault},
        {"extended over 1 MiB", hex("0010000314"), 10, S::Fault},
        {"choke with payload", hex("0000000200FF"), 10, S::Fault},
        {"request index out of range", hex("0000000D060000000A0000000000004000"), 10, S::Fault},
        {"port", hex("00000003091AE1"), 10, S::Message},
        {"piece without data", hex("00000009070000000000000000"), 10, S::Fault},
    };
    for (const Case& c : cases) {
        const auto r = PeerMessageReader::read(c.bytes.constData(), c.bytes.size(), c.pieces);
        EXPECT_EQ(int(r.status), int(c.status)) << c.name;
        if (r.status == S::Message) {
            EXPECT_EQ(r.consumed, c.bytes.size()) << c.name;
        }
    }
}

TEST(PeerMessageTest, ReaderFields)
{
    const QByteArray bytes = hex("0000000D10000000030000400000001000") + hex("00000003091AE1");
    auto r = PeerMessageReader::read(bytes.constData(), bytes.size(), 4);
    ASSERT_EQ(r.status, PeerMessageReader::Status::Message);
    EXPECT_EQ(r.message.id, PeerMessage::Reject);
    EXPECT_EQ(r.message.index, 3u);
    EXPECT_EQ(r.message.begin, 0x4000u);
    EXPECT_EQ(r.message.length, 0x1000u);
    r = PeerMessageReader::read(bytes.constData() + r.consumed, bytes.size() - r.consumed, 4);
    EXPECT_EQ(r.message.port, 6881);
}
