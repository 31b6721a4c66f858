#pragma once

// Shared by the fuzz targets of the encryption handshake: fixed keys and pads on both sides, a valid
// exchange computed once, and a driver that feeds a stream in pieces and checks what must always hold.
#include "engine/crypto/DiffieHellman.h"
#include "engine/wire/MseHandshake.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace ombrelay::fuzz {

inline void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "*** encryption handshake fuzz: %s\n", what);
        std::abort();
    }
}

inline const QByteArray kInfoHash("0123456789abcdefghij");

inline MseHandshake::Options fixedOptions(const DiffieHellman& keys)
{
    auto calls = std::make_shared<quint32>(0);
    return {&keys, [calls] { return ++*calls * 2654435761u; }};
}

inline MseHandshake newInitiator()
{
    static const DiffieHellman keys(QByteArray::fromHex("1111111111111111111111111111111111111111"));
    return MseHandshake::initiator(kInfoHash, QByteArray(68, 'h'), fixedOptions(keys));
}

inline MseHandshake newResponder()
{
    static const DiffieHellman keys(QByteArray::fromHex("fedcba9876543210fedcba9876543210fedcba98"));
    return MseHandshake::responder(MseHandshake::resolverFor({kInfoHash}), fixedOptions(keys));
}

struct Exchange
{
    QByteArray toResponder;  // everything a valid initiator sends, then keep-alives
    QByteArray toInitiator;  // everything a valid responder sends, then keep-alives
};

// What newInitiator() and newResponder() send each other, computed once.
inline const Exchange& validExchange()
{
    static const Exchange exchange = [] {
        MseHandshake initiator = newInitiator();
        MseHandshake responder = newResponder();
        Exchange e;
        QByteArray pending[2];
        for (int round = 0; round < 3; ++round) {
            const QByteArray fromInitiator = initiator.takeOutput();
            e.toResponder += fromInitiator;
            pending[0] += fromInitiator;
            pending[0].remove(0, responder.consume(pending[0].data(), pending[0].size()));
            const QByteArray fromResponder = responder.takeOutput();
            e.toInitiator += fromResponder;
            pending[1] += fromResponder;
            pending[1].remove(0, initiator.consume(pending[1].data(), pending[1].size()));
        }
        check(initiator.state() == MseHandshake::State::Finished
                  && responder.state() == MseHandshake::State::Finished,
              "the valid exchange did not finish");
        // Keep-alives after the handshake, enough to show a wait beyond the protocol's limits.
        const QByteArray keepAlives(1024, '\0');
        e.toResponder += keepAlives;
        e.toInitiator += keepAlives;
        return e;
    }();
    return exchange;
}

// The control byte's low bit: raw input (1) or the valid stream changed by (position high, position low,
// XOR mask) triples, a position at the end truncating it. The rest picks the piece size.
inline QByteArray streamFor(const uint8_t* data, size_t size, const QByteArray& valid)
{
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (data[0] & 1)
        return rest;
    QByteArray stream = valid;
    for (qsizetype n = 0; n + 2 < rest.size(); n += 3) {
        const qsizetype at = ((quint8(rest[n]) << 8) | quint8(rest[n + 1])) % (stream.size() + 1);
        if (at == stream.size())
            stream.truncate(quint8(rest[n + 2]) * stream.size() / 256);
        else
            stream[at] = char(stream[at] ^ rest[n + 2]);
    }
    return stream;
}

inline qsizetype pieceFor(uint8_t control, const QByteArray& stream)
{
    return (control >> 1) == 127 ? stream.size() + 1 : 1 + (control >> 1);
}

// Feeds the stream in pieces as a connection would; checks the use of input, the output's size and the
// input kept waiting (`maxWaiting` plus one piece). Answers the input left after the handshake stopped.
inline QByteArray feed(MseHandshake& handshake, const QByteArray& stream, qsizetype piece, qsizetype maxOutput,
                       qsizetype maxWaiting)
{
    QByteArray input;
    qsizetype sent = handshake.takeOutput().size();
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        input += stream.mid(at, piece);
        if (handshake.state() != MseHandshake::State::Running) {
            check(handshake.consume(input.data(), input.size()) == 0, "an ended handshake took input");
            continue;
        }
        const qsizetype used = handshake.consume(input.data(), input.size());
        check(used >= 0 && used <= input.size(), "used more than it was given");
        input.remove(0, used);
        sent += handshake.takeOutput().size();
        check(sent <= maxOutput, "sent more than the handshake holds");
        if (handshake.state() == MseHandshake::State::Running)
            check(input.size() <= maxWaiting + piece, "waits for more than the protocol allows");
    }
    switch (handshake.state()) {
    case MseHandshake::State::Finished:
        check((handshake.takeEncryptCipher() != nullptr) == (handshake.method() == MseHandshake::Method::RC4),
              "ciphers do not match the method");
        break;
    case MseHandshake::State::Failed:
        check(handshake.failure() != MseHandshake::Failure::None, "failed without a reason");
        break;
    case MseHandshake::State::PeerSpeaksPlain:
    case MseHandshake::State::Running:
        break;
    }
    return input;
}

}  // namespace ombrelay::fuzz
