// Feeds an initiator of the encryption handshake arbitrary bytes in pieces: raw input, or a valid
// responder's stream with bytes flipped where the input says. What it uses, sends and keeps waiting for
// stays bounded.
#include "MseFuzzSupport.h"

using namespace ombrelay;
using namespace ombrelay::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray stream = streamFor(data, size, validExchange().toInitiator);
    MseHandshake initiator = newInitiator();
    // Ya with its pad, then req1, req2 ^ req3 and the encrypted 84 bytes; at most PadD is awaited.
    feed(initiator, stream, pieceFor(data[0], stream), 96 + 512 + 124, 512);
    if (initiator.state() == MseHandshake::State::PeerSpeaksPlain)
        check(initiator.plainRetryApplies(), "a plain answer without the plain retry");
    if (size == 1 && !(data[0] & 1))
        check(initiator.state() == MseHandshake::State::Finished, "the valid stream did not finish");
    return 0;
}
