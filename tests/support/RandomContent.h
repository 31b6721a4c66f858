#pragma once

#include "kit/PZCrypto.h"

#include <QByteArray>
#include <QRandomGenerator>

namespace ombrelay::test {

// `length` bytes drawn from a generator seeded with `seed`: the same bytes on every run.
inline QByteArray seededRandomBytes(qint64 length, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(length, Qt::Uninitialized);
    for (qint64 i = 0; i < length; ++i)
        bytes[i] = char(random.generate());
    return bytes;
}

// The SHA-1 of each piece of `content`, concatenated as a torrent's "pieces".
inline QByteArray pieceHashes(const QByteArray& content, qint64 pieceLength)
{
    QByteArray hashes;
    for (qint64 at = 0; at < content.size(); at += pieceLength)
        hashes += PZCrypto::sha1(content.mid(at, pieceLength));
    return hashes;
}

}  // namespace ombrelay::test
