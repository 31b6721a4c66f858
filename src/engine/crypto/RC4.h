#pragma once

#include "engine/net/StreamCipher.h"

#include <QByteArray>
#include <memory>

struct rc4_key_st;

namespace ombrelay {

// The RC4 stream cipher (libcrypto's). Encrypting and decrypting are the same operation: each byte is
// XORed with the next byte of the key stream.
class RC4 : public StreamCipher
{
public:
    // A key of 1 to 256 bytes; an empty key is treated as the single byte 0.
    explicit RC4(const QByteArray& key);
    ~RC4() override;

    void apply(char* data, qsizetype length) override;
    // Advances the key stream by `count` bytes without using them.
    void discard(qsizetype count);

private:
    std::unique_ptr<rc4_key_st> m_key;
};

}  // namespace ombrelay
