// Feeds a responder of the encryption handshake arbitrary bytes in pieces: either raw input, or a valid
// initiator's stream with bytes flipped where the input says (so the encrypted fields after the key
// exchange are reached too). Checks that what it uses, sends and keeps waiting for stays bounded.
#include "engine/crypto/DiffieHellman.h"
#include "engine/wire/MseHandshake.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace ombrelay;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "*** encryption handshake fuzz: %s\n", what);
        std::abort();
    }
}

const QByteArray kInfoHash("0123456789abcdefghij");

MseHandshake::Options fixedOptions(const DiffieHellman& keys)
{
    auto calls = std::make_shared<quint32>(0);
    return {&keys, [calls] { return ++*calls * 2654435761u; }};
}

const DiffieHellman& initiatorKeys()
{
    static const DiffieHellman keys(QByteArray::fromHex("1111111111111111111111111111111111111111"));
    return keys;
}

const DiffieHellman& responderKeys()
{
    static const DiffieHellman keys(QByteArray::fromHex("fedcba9876543210fedcba9876543210fedcba98"));
    return keys;
}

MseHandshake newResponder()
{
    return MseHandshake::responder(MseHandshake::resolverFor({kInfoHash}), fixedOptions(responderKeys()));
}

// What a valid initiator sends to the responder of newResponder(), computed once.
const QByteArray& validInitiatorStream()
{
    static const QByteArray stream = [] {
        MseHandshake initiator = MseHandshake::initiator(kInfoHash, QByteArray(68, 'h'), fixedOptions(initiatorKeys()));
        MseHandshake responder = newResponder();
        QByteArray sent = initiator.takeOutput();
        QByteArray toResponder = sent;
        toResponder.remove(0, responder.consume(toResponder.data(), toResponder.size()));
        QByteArray toInitiator = responder.takeOutput();
        initiator.consume(toInitiator.data(), toInitiator.size());
        return sent + initiator.takeOutput() + QByteArray("\0\0\0\0", 4);
    }();
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const quint8 control = data[0];
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QByteArray stream;
    if (control & 1) {
        stream = rest;
    } else {
        // Triples of (position high, position low, XOR mask) over the valid stream.
        stream = validInitiatorStream();
        for (qsizetype n = 0; n + 2 < rest.size(); n += 3) {
            const qsizetype at = ((quint8(rest[n]) << 8) | quint8(rest[n + 1])) % (stream.size() + 1);
            if (at == stream.size())
                stream.truncate(quint8(rest[n + 2]) * stream.size() / 256);
            else
                stream[at] = char(stream[at] ^ rest[n + 2]);
        }
    }
    const qsizetype piece = (control >> 1) == 127 ? stream.size() + 1 : 1 + (control >> 1);

    MseHandshake responder = newResponder();
    QByteArray input;
    qsizetype sent = 0;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        input += stream.mid(at, piece);
        if (responder.state() != MseHandshake::State::Running) {
            check(responder.consume(input.data(), input.size()) == 0, "an ended handshake took input");
            continue;
        }
        const qsizetype used = responder.consume(input.data(), input.size());
        check(used >= 0 && used <= input.size(), "used more than it was given");
        input.remove(0, used);
        sent += responder.takeOutput().size();
        check(sent <= 96 + 512 + 14, "sent more than Yb, PadB and the answer");
        if (responder.state() == MseHandshake::State::Running)
            check(input.size() <= 0xffff + piece, "waits for more than an initial payload");
    }
    switch (responder.state()) {
    case MseHandshake::State::Finished:
        check(responder.infoHash() == kInfoHash, "finished for an unknown torrent");
        check(responder.initialPayloadLength() <= input.size(), "initial payload beyond the input");
        check((responder.takeEncryptCipher() != nullptr) == (responder.method() == MseHandshake::Method::RC4),
              "ciphers do not match the method");
        break;
    case MseHandshake::State::Failed:
        check(responder.failure() != MseHandshake::Failure::None, "failed without a reason");
        break;
    case MseHandshake::State::PeerSpeaksPlain:
        check(sent == 0, "answered a plain handshake");
        break;
    case MseHandshake::State::Running:
        break;
    }
    if (!(control & 1) && rest.isEmpty())
        check(responder.state() == MseHandshake::State::Finished, "the valid stream did not finish");
    return 0;
}
