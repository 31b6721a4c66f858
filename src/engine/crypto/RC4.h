#pragma once

#include "engine/net/StreamCipher.h"

#include <QByteArray>
#include <array>

namespace ombrelay {

// The RC4 stream cipher. Encrypting and decrypting are the same operation: each byte is XORed with the
// next byte of the key stream.
class RC4 : public StreamCipher
{
public:
    // A key of 1 to 256 bytes; an empty key is treated as the single byte 0.
    explicit RC4(const QByteArray& key);

    void apply(char* data, qsizetype length) override;
    // Advances the key stream by `count` bytes without using them.
    void discard(qsizetype count);

private:
    // Runs the key stream for `count` bytes, handing each to sink(index, keyByte).
    template <typename Sink>
    void run(qsizetype count, Sink sink);

    std::array<quint8, 256> m_state{};
    quint8 m_i = 0;
    quint8 m_j = 0;
};

}  // namespace ombrelay
