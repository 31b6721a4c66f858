#include "kit/ByteReader.h"
#include "kit/ByteWriter.h"
#include "kit/TextHelpers.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int v : values)
        result.append(char(v));
    return result;
}

} // namespace

TEST(ByteWriter, AppendsHostAndNetworkOrder)
{
    QByteArray buffer;
    appendByte4(buffer, 1);
    EXPECT_EQ(buffer, bytes({1, 0, 0, 0})); // the targets are little-endian

    buffer.clear();
    appendByte(buffer, 0x13);
    appendBigEndian2(buffer, 0x1ae1);
    appendBigEndian4(buffer, 13);
    appendBigEndian8(buffer, 0x0102030405060708ull);
    appendByte2(buffer, 0x0102);
    appendByte8(buffer, 0x0102030405060708ull);
    EXPECT_EQ(buffer,
              bytes({0x13, 0x1a, 0xe1, 0, 0, 0, 13, 1, 2, 3, 4, 5, 6, 7, 8, 2, 1, 8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST(ByteWriter, OverwritesOnlyWithinTheBuffer)
{
    QByteArray buffer(6, '\0');
    EXPECT_TRUE(serializeBigEndian4(buffer, 0xdeadbeef, 2));
    EXPECT_TRUE(serializeByte(buffer, 7, 0));
    EXPECT_TRUE(serializeByte2(buffer, 0x0201, 0));
    EXPECT_EQ(buffer, bytes({1, 2, 0xde, 0xad, 0xbe, 0xef}));

    const QByteArray before = buffer;
    EXPECT_FALSE(serializeBigEndian4(buffer, 1, 3));
    EXPECT_FALSE(serializeByte8(buffer, 1, 0));
    EXPECT_FALSE(serializeByte(buffer, 1, 6));
    EXPECT_FALSE(serializeByte(buffer, 1, -1));
    EXPECT_FALSE(serializeData(buffer, "ab", 5));
    EXPECT_EQ(buffer, before);

    EXPECT_TRUE(serializeData(buffer, "ab", 4));
    EXPECT_EQ(buffer.right(2), "ab");
}

TEST(ByteWriter, AppendStringAIsStrictAscii)
{
    QByteArray buffer("x");
    EXPECT_TRUE(appendStringA(buffer, u"GET /"));
    EXPECT_EQ(buffer, "xGET /");
    EXPECT_FALSE(appendStringA(buffer, u"caf\u00e9"));
    EXPECT_EQ(buffer, "xGET /");
}

TEST(ByteReader, IndexedReadsAreCheckedAndOrdered)
{
    const QByteArray data = bytes({1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(deserializeByteAtIndex(data, 8), 9u);
    EXPECT_EQ(deserializeByte2AtIndex(data, 0), 0x0201u);
    EXPECT_EQ(deserializeBigEndian2AtIndex(data, 0), 0x0102u);
    EXPECT_EQ(deserializeByte4AtIndex(data, 1), 0x05040302u);
    EXPECT_EQ(deserializeBigEndian4AtIndex(data, 5), 0x06070809u);
    EXPECT_EQ(deserializeByte8AtIndex(data, 1), 0x0908070605040302ull);
    EXPECT_EQ(deserializeBigEndian8AtIndex(data, 0), 0x0102030405060708ull);

    // Reads past either end fail.
    EXPECT_FALSE(deserializeByteAtIndex(data, 9));
    EXPECT_FALSE(deserializeBigEndian2AtIndex(data, 8));
    EXPECT_FALSE(deserializeByte4AtIndex(data, 6));
    EXPECT_FALSE(deserializeBigEndian8AtIndex(data, 2));
    EXPECT_FALSE(deserializeByteAtIndex(data, -1));
    EXPECT_FALSE(deserializeByte4AtIndex(data, -1));
    EXPECT_FALSE(deserializeByteAtIndex(QByteArray(), 0));
}

TEST(ByteReader, SequentialReadsFailAndStayFailedAtTheEnd)
{
    const QByteArray message = bytes({0, 0, 0, 5, 4, 0, 0, 1, 2, 'x'});
    ByteReader reader(message);
    EXPECT_EQ(reader.readBigEndian4(), 5u);
    EXPECT_EQ(reader.readByte(), 4);
    EXPECT_EQ(reader.readBigEndian4(), 0x102u);
    EXPECT_EQ(reader.remaining(), 1);
    EXPECT_TRUE(reader.ok());

    EXPECT_EQ(reader.readBigEndian2(), 0u); // one byte left: nothing is read
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(reader.position(), 9);
    EXPECT_EQ(reader.readBytes(1), QByteArray()); // failed readers read nothing more
    EXPECT_FALSE(reader.ok());

    ByteReader bounded(message);
    EXPECT_TRUE(bounded.skip(4));
    EXPECT_EQ(bounded.readBytes(6), message.mid(4));
    EXPECT_TRUE(bounded.atEnd());
    EXPECT_FALSE(bounded.skip(1));

    ByteReader negative(message);
    EXPECT_EQ(negative.readBytes(-1), QByteArray());
    EXPECT_FALSE(negative.ok());
}

TEST(ByteReader, ComponentsSeparatedByByte)
{
    struct Case
    {
        QByteArray input;
        QList<QByteArray> components;
    };
    const Case cases[] = {
        {"a,b", {"a", "b"}},
        {",a", {"", "a"}},
        {"a,", {"a"}},
        {"a,,b", {"a", "", "b"}},
        {"", {}},
        {",", {""}},
        {",,", {"", ""}},
        {QByteArray(300, 'z'), {QByteArray(300, 'z')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.left(20).constData());
        EXPECT_EQ(componentsSeparatedByByte(c.input, ','), c.components);
    }
}

TEST(ByteReader, GetDataUpToData)
{
    const QByteArray request = QByteArray("GET /x\r\n\r\nbody");
    ASSERT_EQ(request.size(), 14);
    struct Case
    {
        QByteArray delimiter;
        qsizetype from;
        std::optional<QByteArray> expected;
    };
    const Case cases[] = {
        {"\r\n\r\n", 0, QByteArray("GET /x\r\n\r\n")},
        {"\r\n\r\n", 4, QByteArray("/x\r\n\r\n")},
        {"\r\n\r\n", 7, std::nullopt},
        {"\n\n", 0, std::nullopt},
        {"body", 0, request},
        {"y", 14, std::nullopt},
        {"y", 15, std::nullopt},
        {"G", -1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.delimiter.toHex().constData() << " from " << c.from);
        EXPECT_EQ(getDataUpToData(request, c.delimiter, c.from), c.expected);
    }
}

TEST(ByteText, HexStringAndStrictHexDecoding)
{
    EXPECT_EQ(hexString(bytes({0x00, 0xab, 0x10})), "00ab10");
    EXPECT_EQ(hexString(QByteArray()), "");

    struct Case
    {
        QString hex;
        std::optional<QByteArray> bytes;
    };
    const Case cases[] = {
        {"0aFF", bytes({0x0a, 0xff})},
        {"", QByteArray()},
        {"00ab10", bytes({0x00, 0xab, 0x10})},
        {"zz", std::nullopt},
        {"abc", std::nullopt},
        {"0g", std::nullopt},
        {"f ", std::nullopt},
        {QStringLiteral("\uff10\uff11"), std::nullopt}, // full-width digits are not hex
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.hex));
        EXPECT_EQ(dataFromHex(c.hex), c.bytes);
    }
}

TEST(ByteText, StringWithData)
{
    EXPECT_EQ(stringWithData(QByteArray("caf\xc3\xa9")), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(stringWithData(QByteArray("caf\xe9")),
              QStringLiteral("caf\u00e9")); // not UTF-8: one character a byte
    EXPECT_EQ(stringWithData(QByteArray()), "");
}
