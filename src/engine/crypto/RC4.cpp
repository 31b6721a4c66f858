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

template <typename Sink>
void RC4::run(qsizetype count, Sink sink)
{
    // Local copies: the data written through `sink` may alias anything, so members would be reloaded
    // on every byte.
    std::array<quint8, 256> state = m_state;
    quint8 i = m_i;
    quint8 j = m_j;
    for (qsizetype n = 0; n < count; ++n) {
        i = quint8(i + 1);
        const quint8 a = state[i];
        j = quint8(j + a);
        const quint8 b = state[j];
        state[i] = b;
        state[j] = a;
        sink(n, state[quint8(a + b)]);
    }
    m_state = state;
    m_i = i;
    m_j = j;
}

void RC4::apply(char* data, qsizetype length)
{
    run(length, [data](qsizetype n, quint8 key) { data[n] = char(quint8(data[n]) ^ key); });
}

void RC4::discard(qsizetype count)
{
    run(count, [](qsizetype, quint8) {});
}

}  // namespace ombrelay
