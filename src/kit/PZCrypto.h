#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace ombrelay {

// SHA-1 and base64 of bytes.
class PZCrypto
{
public:
    static QByteArray sha1(const QByteArray& data);                                   // 20 bytes
    static QByteArray sha1(const char* data, qsizetype length);
    static QByteArray sha1InRange(const QByteArray& data, qsizetype location, qsizetype length);
    static QByteArray sha1(const QString& text);                                      // of its UTF-8
    static QString base64String(const QByteArray& data);  // standard alphabet, "=" padding, no breaks
};

// Incremental SHA-1, for hashing a piece in chunks.
class Sha1Hasher
{
public:
    Sha1Hasher();
    ~Sha1Hasher();
    Sha1Hasher(const Sha1Hasher&) = delete;
    Sha1Hasher& operator=(const Sha1Hasher&) = delete;
    void update(const void* data, size_t length);
    void update(const QByteArray& data) { update(data.constData(), size_t(data.size())); }
    QByteArray finish();  // 20 bytes; the hasher starts over afterwards

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace ombrelay
