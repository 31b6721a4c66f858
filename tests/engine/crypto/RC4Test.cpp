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

// RFC 6229, test vectors for the 40-bit and the 128-bit key.
const KeyStreamVector kVectors[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
    {"0102030405", 256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
    {"0102030405", 496, "42b7d0cdd918a8a33dd51781c81f4041"},
    {"0102030405", 512, "6459844432a7da923cfb3eb4980661f6"},
    {"0102030405", 752, "ec10327bde2beefd18f9277680457e22"},
    {"0102030405", 768, "eb62638d4f0ba1fe9fca20e05bf8ff2b"},
    {"0102030405", 1008, "45129048e6a0ed0b56b490338f078da5"},
    {"0102030405", 1024, "30abbcc7c20b01609f23ee2d5f6bb7df"},
    {"0102030405", 1520, "3294f744d8f9790507e70f62e5bbceea"},
    {"0102030405", 1536, "d8729db41882259bee4f825325f5a130"},
    {"0102030405", 2032, "1eb14a0c13b3bf47fa2a0ba93ad45b8b"},
    {"0102030405", 2048, "cc582f8ba9f265e2b1be9112e975d2d7"},
    {"0102030405", 3056, "f2e30f9bd102ecbf75aaade9bc35c43c"},
    {"0102030405", 3072, "ec0e11c479dc329dc8da7968fe965681"},
    {"0102030405", 4080, "068326a2118416d21f9d04b2cd1ca050"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 16, "5248c4959014126a6e8a84f11d1a9e1c"},
    {"0102030405060708090a0b0c0d0e0f10", 1024, "bdf0324e6083dcc6d3cedd3ca8c53c16"},
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
