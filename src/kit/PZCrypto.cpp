#include "kit/PZCrypto.h"

#include <openssl/evp.h>

namespace ombrelay {

QByteArray PZCrypto::sha1(const char* data, qsizetype length)
{
    QByteArray digest(20, Qt::Uninitialized);
    unsigned int size = 0;
    EVP_Digest(data, size_t(length), reinterpret_cast<unsigned char*>(digest.data()), &size, EVP_sha1(), nullptr);
    return digest;
}

QByteArray PZCrypto::sha1(const QByteArray& data)
{
    return sha1(data.constData(), data.size());
}

QByteArray PZCrypto::sha1InRange(const QByteArray& data, qsizetype location, qsizetype length)
{
    if (location < 0 || length < 0 || location > data.size() || length > data.size() - location)
        return {};
    return sha1(data.constData() + location, length);
}

QByteArray PZCrypto::sha1(const QString& text)
{
    return sha1(text.toUtf8());
}

QString PZCrypto::base64String(const QByteArray& data)
{
    return QString::fromLatin1(data.toBase64());
}

struct Sha1Hasher::State
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha1Hasher::Sha1Hasher() : m_state(std::make_unique<State>())
{
    EVP_DigestInit_ex(m_state->context, EVP_sha1(), nullptr);
}

Sha1Hasher::~Sha1Hasher() = default;

void Sha1Hasher::update(const void* data, size_t length)
{
    EVP_DigestUpdate(m_state->context, data, length);
}

QByteArray Sha1Hasher::finish()
{
    QByteArray digest(20, Qt::Uninitialized);
    unsigned int size = 0;
    EVP_DigestFinal_ex(m_state->context, reinterpret_cast<unsigned char*>(digest.data()), &size);
    EVP_DigestInit_ex(m_state->context, EVP_sha1(), nullptr);
    return digest;
}

}  // namespace ombrelay
