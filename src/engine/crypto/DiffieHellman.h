#pragma once

#include <QByteArray>

namespace ombrelay {

// A Diffie-Hellman key pair on the 768-bit prime of message stream encryption, generator 2. Public values
// and shared secrets are 96 bytes, big-endian, left-padded with zeros. Immutable once built, so one pair
// may serve every connection from any thread.
class DiffieHellman
{
public:
    static constexpr qsizetype kKeyBytes = 96;

    // A fresh pair with a random 160-bit private key.
    DiffieHellman();
    // A pair from a fixed private key (big-endian bytes), for tests; a zero key is replaced by 1.
    explicit DiffieHellman(const QByteArray& privateKey);

    // The process-wide pair, built on first use and kept until the process ends.
    static const DiffieHellman& diffieHellmanInstance();

    QByteArray publicKey() const { return m_publicKey; }
    // The secret shared with the owner of `peerPublicKey` (96 bytes); empty when the peer's value is not
    // a usable public key (outside 2 .. P - 2), since such values give a secret anyone can predict.
    QByteArray sharedSecret(const QByteArray& peerPublicKey) const;

private:
    void derivePublicKey();

    QByteArray m_privateKey;
    QByteArray m_publicKey;
};

}  // namespace ombrelay
