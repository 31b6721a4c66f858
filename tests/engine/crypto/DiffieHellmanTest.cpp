#include "engine/crypto/DiffieHellman.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

const QByteArray kPrime = QByteArray::fromHex(
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DDEF9519B3CD"
    "3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A63A36210000000000090563");

QByteArray minus(QByteArray number, quint8 value)
{
    for (qsizetype n = number.size() - 1; n >= 0 && value; --n) {
        const int digit = quint8(number[n]) - value;
        number[n] = char(digit & 0xff);
        value = digit < 0 ? 1 : 0;
    }
    return number;
}

QByteArray paddedValue(quint8 last)
{
    QByteArray bytes(DiffieHellman::kKeyBytes, '\0');
    bytes[bytes.size() - 1] = char(last);
    return bytes;
}

}  // namespace

// Expected values computed independently with arbitrary-precision arithmetic.
TEST(DiffieHellmanTest, FixedPrivateKeysGiveTheKnownPublicKeysAndOneSecretBothWays)
{
    const DiffieHellman a(QByteArray::fromHex("1111111111111111111111111111111111111111"));
    const DiffieHellman b(QByteArray::fromHex("fedcba9876543210fedcba9876543210fedcba98"));
    EXPECT_EQ(a.publicKey().toHex(),
              "3476dc8d123697fcc69e9121618a08514ffa536506df209ce956ad3cf819f76f3fcebc46f4e8be364ec8f1445b9dbf8a"
              "9528ca7bfbc89ad13f28137640a2cfd1055d55d5cc6676d18b410e086631309e95fa7b0dae2b8379186b17ad3472c755");
    EXPECT_EQ(b.publicKey().toHex(),
              "e2666b9cffca63998c8e806db50c47ac12512b327c5ec48d62e0a43c2961afcf136e7219fe2ec51e656b2f01ed089dd8"
              "cc53c78e7d650df59a752131bcf8ffff122144bf10c6269b47886d6af58389223c66153ebb5e3dc18ea849ceb60ac18e");
    const QByteArray secret = a.sharedSecret(b.publicKey());
    EXPECT_EQ(secret.toHex(),
              "85e452203508a052334379c25f0ff68f75b850d3e05f137602ce401db3b6806699a1a396939c401588f7c9ed7690adc1"
              "c8426537a69893285291a147efecee0671837206fa2f2ec48334a2a33d53754f2d04a24d85f1d949494ca05fa380217d");
    EXPECT_EQ(b.sharedSecret(a.publicKey()), secret);
}

TEST(DiffieHellmanTest, SmallValuesAreLeftPaddedTo96Bytes)
{
    const DiffieHellman three(QByteArray::fromHex("03"));
    EXPECT_EQ(three.publicKey(), paddedValue(8));
    // (2^5)^3 = 2^15
    QByteArray expected = paddedValue(0x00);
    expected[94] = char(0x80);
    EXPECT_EQ(three.sharedSecret(paddedValue(32)), expected);
    EXPECT_EQ(DiffieHellman(QByteArray(4, '\0')).publicKey(), paddedValue(2));
}

TEST(DiffieHellmanTest, RefusesPeerValuesThatAreNotUsablePublicKeys)
{
    const DiffieHellman keys;
    ASSERT_EQ(kPrime.size(), 96);
    const struct
    {
        const char* name;
        QByteArray value;
    } refused[] = {
        {"zero", paddedValue(0)},
        {"one", paddedValue(1)},
        {"P - 1", minus(kPrime, 1)},
        {"P", kPrime},
        {"above P", QByteArray(96, '\xff')},
        {"95 bytes", QByteArray(95, '\x07')},
        {"97 bytes", QByteArray(97, '\x07')},
    };
    for (const auto& row : refused)
        EXPECT_TRUE(keys.sharedSecret(row.value).isEmpty()) << row.name;
    EXPECT_EQ(keys.sharedSecret(paddedValue(2)).size(), 96);
    EXPECT_EQ(keys.sharedSecret(minus(kPrime, 2)).size(), 96);
}

TEST(DiffieHellmanTest, RandomPairsAgreeAndTheProcessPairStays)
{
    const DiffieHellman a;
    const DiffieHellman b;
    EXPECT_NE(a.publicKey(), b.publicKey());
    EXPECT_EQ(a.publicKey().size(), 96);
    EXPECT_LT(a.publicKey(), kPrime);
    EXPECT_EQ(a.sharedSecret(b.publicKey()), b.sharedSecret(a.publicKey()));

    const DiffieHellman& process = DiffieHellman::diffieHellmanInstance();
    EXPECT_EQ(&process, &DiffieHellman::diffieHellmanInstance());
    EXPECT_EQ(process.sharedSecret(a.publicKey()), a.sharedSecret(process.publicKey()));
}
