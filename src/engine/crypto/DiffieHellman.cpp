#include "engine/crypto/DiffieHellman.h"

#include <openssl/bn.h>
#include <memory>

namespace ombrelay {
namespace {

constexpr int kPrivateKeyBits = 160;

const char kPrimeHex[] =
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DDEF9519B3CD"
    "3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A63A36210000000000090563";

struct BnFree { void operator()(BIGNUM* n) const { BN_clear_free(n); } };
struct CtxFree { void operator()(BN_CTX* c) const { BN_CTX_free(c); } };
using Bn = std::unique_ptr<BIGNUM, BnFree>;
using Ctx = std::unique_ptr<BN_CTX, CtxFree>;

const BIGNUM* prime()
{
    static const BIGNUM* p = [] {
        BIGNUM* n = nullptr;
        BN_hex2bn(&n, kPrimeHex);
        return n;
    }();
    return p;
}

Bn fromBytes(const QByteArray& bytes)
{
    return Bn(BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()), nullptr));
}

QByteArray toPaddedBytes(const BIGNUM* n)
{
    QByteArray bytes(DiffieHellman::kKeyBytes, '\0');
    BN_bn2binpad(n, reinterpret_cast<unsigned char*>(bytes.data()), int(bytes.size()));
    return bytes;
}

// base ^ exponent mod P, in constant time for the private exponent.
QByteArray power(const BIGNUM* base, const QByteArray& exponentBytes)
{
    Bn exponent = fromBytes(exponentBytes);
    Bn result(BN_new());
    Ctx ctx(BN_CTX_new());
    if (!exponent || !result || !ctx)
        return {};
    BN_set_flags(exponent.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_exp(result.get(), base, exponent.get(), prime(), ctx.get()))
        return {};
    return toPaddedBytes(result.get());
}

}  // namespace

DiffieHellman::DiffieHellman()
{
    Bn key(BN_new());
    do {
        BN_priv_rand(key.get(), kPrivateKeyBits, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
    } while (BN_is_zero(key.get()));
    m_privateKey = QByteArray(kPrivateKeyBits / 8, '\0');
    BN_bn2binpad(key.get(), reinterpret_cast<unsigned char*>(m_privateKey.data()), int(m_privateKey.size()));
    derivePublicKey();
}

DiffieHellman::DiffieHellman(const QByteArray& privateKey) : m_privateKey(privateKey)
{
    Bn key = fromBytes(m_privateKey);
    if (!key || BN_is_zero(key.get()))
        m_privateKey = QByteArray(1, '\1');
    derivePublicKey();
}

const DiffieHellman& DiffieHellman::diffieHellmanInstance()
{
    static const DiffieHellman instance;
    return instance;
}

void DiffieHellman::derivePublicKey()
{
    Bn generator(BN_new());
    BN_set_word(generator.get(), 2);
    m_publicKey = power(generator.get(), m_privateKey);
}

QByteArray DiffieHellman::sharedSecret(const QByteArray& peerPublicKey) const
{
    if (peerPublicKey.size() != kKeyBytes)
        return {};
    Bn peer = fromBytes(peerPublicKey);
    Bn upper(BN_dup(prime()));
    if (!peer || !upper || !BN_sub_word(upper.get(), 1))
        return {};
    // Valid public values lie in 2 .. P - 2.
    if (BN_cmp(peer.get(), BN_value_one()) <= 0 || BN_cmp(peer.get(), upper.get()) >= 0)
        return {};
    return power(peer.get(), m_privateKey);
}

}  // namespace ombrelay
