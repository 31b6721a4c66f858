#pragma once

#include "engine/net/StreamCipher.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace ombrelay {

// Decrypts one connection's input off the main thread. Each chunk goes to one of a few cipher threads
// (a connection always to the same one) and comes back to the main thread decrypted, in the order the
// chunks were given; results due after the decryptor is gone are dropped. The caller bounds the bytes
// out at once (inFlight). Main thread only, except the cipher itself.
class ReadDecryptor
{
public:
    using Deliver = std::function<void(QByteArray)>;

    ReadDecryptor(std::unique_ptr<StreamCipher> cipher, Deliver deliver);
    ~ReadDecryptor();
    ReadDecryptor(const ReadDecryptor&) = delete;
    ReadDecryptor& operator=(const ReadDecryptor&) = delete;

    // Decrypts on a cipher thread; `deliver` gets the chunk later, on the main thread.
    void decrypt(QByteArray chunk);
    // Decrypts in place at once; only while nothing is out.
    void decryptNow(char* data, qsizetype length);
    // Bytes handed to decrypt and not delivered yet.
    qsizetype inFlight() const { return m_inFlight; }

private:
    void delivered(QByteArray chunk);

    std::shared_ptr<StreamCipher> m_cipher;
    Deliver m_deliver;
    int m_queue;
    qsizetype m_inFlight = 0;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

}  // namespace ombrelay
