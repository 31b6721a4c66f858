#include "engine/crypto/RC4.h"

// The low-level RC4 is deprecated but still exported, and unlike EVP's it needs no legacy provider.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/rc4.h>

#include <algorithm>

namespace ombrelay {

RC4::RC4(const QByteArray& key) : m_key(std::make_unique<RC4_KEY>())
{
    static const unsigned char kZero = 0;
    if (key.isEmpty())
        RC4_set_key(m_key.get(), 1, &kZero);
    else
        RC4_set_key(m_key.get(), int(std::min<qsizetype>(key.size(), 256)),
                    reinterpret_cast<const unsigned char*>(key.constData()));
}

RC4::~RC4() = default;

void RC4::apply(char* data, qsizetype length)
{
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    ::RC4(m_key.get(), size_t(length), bytes, bytes);
}

void RC4::discard(qsizetype count)
{
    unsigned char scratch[1024] = {};
    for (; count > 0; count -= qsizetype(sizeof scratch))
        ::RC4(m_key.get(), size_t(std::min<qsizetype>(count, sizeof scratch)), scratch, scratch);
}

}  // namespace ombrelay
