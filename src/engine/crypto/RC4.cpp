#include "engine/crypto/RC4.h"

#include <algorithm>
#include <utility>

namespace ombrelay {

RC4::RC4(const QByteArray& key)
{
    for (int n = 0; n < 256; ++n)
        m_state[size_t(n)] = quint8(n);
    const qsizetype keyLength = key.isEmpty() ? 1 : std::min<qsizetype>(key.size(), 256);
    quint8 j = 0;
    for (int n = 0; n < 256; ++n) {
        const quint8 keyByte = key.isEmpty() ? 0 : quint8(key[n % keyLength]);
        j = quint8(j + m_state[size_t(n)] + keyByte);
        std::swap(m_state[size_t(n)], m_state[j]);
    }
}

quint8 RC4::next()
{
    m_i = quint8(m_i + 1);
    m_j = quint8(m_j + m_state[m_i]);
    std::swap(m_state[m_i], m_state[m_j]);
    return m_state[quint8(m_state[m_i] + m_state[m_j])];
}

void RC4::apply(char* data, qsizetype length)
{
    for (qsizetype n = 0; n < length; ++n)
        data[n] = char(quint8(data[n]) ^ next());
}

void RC4::discard(qsizetype count)
{
    for (qsizetype n = 0; n < count; ++n)
        next();
}

}  // namespace ombrelay
