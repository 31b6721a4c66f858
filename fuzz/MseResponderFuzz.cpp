// Feeds a responder of the encryption handshake arbitrary bytes in pieces: raw input, or a valid
// initiator's stream with bytes flipped where the input says (so the encrypted fields after the key
// exchange are reached too). What it uses, sends and keeps waiting for stays bounded.
#include "MseFuzzSupport.h"

using namespace ombrelay;
using namespace ombrelay::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray stream = streamFor(data, size, validExchange().toResponder);
    MseHandshake responder = newResponder();
    // Yb with its pad and the 14-byte answer; an initial payload of up to 65535 bytes may be awaited.
    const QByteArray rest = feed(responder, stream, pieceFor(data[0], stream), 96 + 512 + 14, 0xffff);
    if (responder.state() == MseHandshake::State::Finished) {
        check(responder.infoHash() == kInfoHash, "finished for an unknown torrent");
        check(responder.initialPayloadLength() <= rest.size(), "initial payload beyond the input");
    }
    if (size == 1 && !(data[0] & 1))
        check(responder.state() == MseHandshake::State::Finished, "the valid stream did not finish");
    return 0;
}
