#include "engine/crypto/RC4.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

struct KeyStreamVector
{
    const char* key;
    qsizetype offset;
    const char* bytes;  // 16 bytes of key stream at the offset
};

// RFC 6229, some of the test vectors for the 40-bit and the 128-bit key.
const KeyStreamVector kVectors[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 1024, "30abbcc7c20b01609f23ee2d5f6bb7df"},
    {"0102030405", 1536, "d8729db41882259bee4f825325f5a130"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 1536, "ffa0b514647ec04f6306b892ae661181"},
    {"0102030405060708090a0b0c0d0e0f10", 4096, "a36a4c301ae8ac13610ccbc12256cacc"},
};

QByteArray keyStream(RC4& rc4, qsizetype length)
{
    QByteArray bytes(length, '\0');
    rc4.apply(bytes.data(), length);
    return bytes;
}

}  // namespace

TEST(RC4Test, KeyStreamMatchesTheRfcVectorsWhetherSkippedOrProduced)
{
    for (const KeyStreamVector& v : kVectors) {
        SCOPED_TRACE(testing::Message() << v.key << " @" << v.offset);
        const QByteArray key = QByteArray::fromHex(v.key);
        RC4 skipped(key);
        skipped.discard(v.offset);
        EXPECT_EQ(keyStream(skipped, 16).toHex(), QByteArray(v.bytes));

        RC4 produced(key);
        EXPECT_EQ(keyStream(produced, v.offset + 16).mid(v.offset).toHex(), QByteArray(v.bytes));
    }
}

TEST(RC4Test, DecryptsWhatItEncryptsInAnyPieces)
{
    const QByteArray key = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");
    QByteArray text(5000, '\0');
    for (qsizetype n = 0; n < text.size(); ++n)
        text[n] = char(n * 37 + 11);

    QByteArray cipherText = text;
    RC4 encrypt(key);
    encrypt.apply(cipherText.data(), cipherText.size());
    EXPECT_NE(cipherText, text);

    RC4 decrypt(key);
    for (qsizetype at = 0, piece = 1; at < cipherText.size(); at += piece, piece = piece * 3 % 997 + 1)
        decrypt.apply(cipherText.data() + at, std::min(piece, cipherText.size() - at));
    EXPECT_EQ(cipherText, text);
}
