// Peer protocol messages: a stream of them read the way a connection reads its buffer.
#include "engine/wire/PeerMessage.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

using namespace ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the torrent's piece count.
    const quint32 pieces = quint32(data[0]) << 8 | data[1];
    const char* p = reinterpret_cast<const char*>(data + 2);
    qsizetype left = qsizetype(size - 2);
    for (int guard = 0; guard < 100000 && left > 0; ++guard) {
        const auto r = PeerMessageReader::read(p, left, pieces);
        if (r.status != PeerMessageReader::Status::Message)
            break;
        if (r.consumed < 4 || r.consumed > left)
            std::abort();
        const PeerMessage& m = r.message;
        const quint64 length = quint64(r.consumed) - 4;
        const std::optional<quint64> exact = PeerMessageReader::exactLength(m.id, pieces);
        if (!m.keepAlive && (exact ? length != *exact : length > PeerMessageReader::maximumLength(m.id)))
            std::abort();
        switch (m.id) {
        case PeerMessage::Have:
        case PeerMessage::Request:
        case PeerMessage::Piece:
        case PeerMessage::Cancel:
        case PeerMessage::Reject:
            if (!m.keepAlive && m.index >= pieces)
                std::abort();
            break;
        case PeerMessage::Bitfield:
            if (!m.keepAlive && m.payload.size() != qsizetype((quint64(pieces) + 7) / 8))
                std::abort();
            break;
        default:
            break;
        }
        p += r.consumed;
        left -= r.consumed;
    }
    return 0;
}
