#pragma once

// An independent implementation of the other side of the handshake, built from the primitives, for
// scripting peers byte by byte.
#include "engine/crypto/DiffieHellman.h"
#include "engine/crypto/RC4.h"
#include "engine/wire/MseHandshake.h"
#include "kit/ByteWriter.h"
#include "kit/PZCrypto.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace ombrelay::test {

inline const DiffieHellman& initiatorKeys()
{
    static const DiffieHellman keys(QByteArray::fromHex("1111111111111111111111111111111111111111"));
    return keys;
}

inline const DiffieHellman& responderKeys()
{
    static const DiffieHellman keys(QByteArray::fromHex("fedcba9876543210fedcba9876543210fedcba98"));
    return keys;
}

inline const QByteArray kInfoHash = QByteArray("0123456789abcdefghij");

// A plain BitTorrent handshake for the test torrent.
inline QByteArray plainHandshake(char peerIdFill)
{
    QByteArray bytes("\x13" "BitTorrent protocol");
    bytes += QByteArray::fromHex("0000000000100005");
    bytes += kInfoHash;
    bytes += QByteArray(20, peerIdFill);
    return bytes;
}

// The first value picks the pad length ((first & 511) + 1); pad bytes follow a fixed pattern.
inline std::function<quint32()> fixedRandom(quint32 first)
{
    auto calls = std::make_shared<quint32>(0);
    return [first, calls] { return (*calls)++ == 0 ? first : *calls * 2654435761u; };
}

inline MseHandshake::Options fixedOptions(const DiffieHellman& keys, quint32 padLengthMinusOne)
{
    return {&keys, fixedRandom(padLengthMinusOne)};
}

inline QByteArray sha1Of(const char* tag, const QByteArray& value)
{
    return PZCrypto::sha1(QByteArray(tag) + value);
}

inline QByteArray xorOf(QByteArray a, const QByteArray& b)
{
    for (qsizetype n = 0; n < a.size(); ++n)
        a[n] = char(a[n] ^ b[n]);
    return a;
}

inline QByteArray uint16Bytes(quint16 value)
{
    QByteArray bytes;
    appendBigEndian2(bytes, value);
    return bytes;
}

inline QByteArray uint32Bytes(quint32 value)
{
    QByteArray bytes;
    appendBigEndian4(bytes, value);
    return bytes;
}

// "keyA" or "keyB" for the shared secret and the torrent, 1024 bytes of key stream discarded.
inline std::unique_ptr<RC4> referenceKey(const char* name, const QByteArray& secret,
                                         const QByteArray& infoHash = kInfoHash)
{
    auto rc4 = std::make_unique<RC4>(PZCrypto::sha1(QByteArray(name) + secret + infoHash));
    rc4->discard(1024);
    return rc4;
}

inline QByteArray applied(StreamCipher& cipher, QByteArray bytes)
{
    cipher.apply(bytes.data(), bytes.size());
    return bytes;
}

// Feeds bytes to a handshake in pieces of `piece` bytes, keeping the unconsumed input as a caller would;
// once the handshake finished, later bytes pass its decrypt cipher as a read stream would.
struct Feeder
{
    explicit Feeder(MseHandshake& h) : handshake(h) {}

    void feed(const QByteArray& bytes, qsizetype piece = 1 << 20)
    {
        for (qsizetype at = 0; at < bytes.size(); at += piece) {
            QByteArray bytesIn = bytes.mid(at, piece);
            if (decrypt)
                decrypt->apply(bytesIn.data(), bytesIn.size());
            input += bytesIn;
            if (handshake.state() != MseHandshake::State::Running)
                continue;
            const qsizetype used = handshake.consume(input.data(), input.size());
            consumed += used;
            input.remove(0, used);
            output += handshake.takeOutput();
            if (handshake.state() == MseHandshake::State::Finished)
                decrypt = handshake.takeDecryptCipher();
        }
    }

    MseHandshake& handshake;
    QByteArray input;  // unconsumed: after Finished, the payload in the clear
    QByteArray output;
    qsizetype consumed = 0;
    std::unique_ptr<StreamCipher> decrypt;
};

}  // namespace ombrelay::test
