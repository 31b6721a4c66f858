#include "engine/net/MessageStats.h"

namespace ombrelay {

void MessageStats::recordMessage(quint8 messageId)
{
    ++total;
    switch (messageId) {
    case 0: ++chokes; break;
    case 1: ++unchokes; break;
    case 2: ++interesteds; break;
    case 3: ++notInteresteds; break;
    case 4: ++haves; break;
    case 5: ++bitfields; break;
    case 6: ++requests; break;
    case 7: ++pieces; break;
    case 8: ++cancelRequests; break;
    case 0x0D: ++suggestPieces; break;
    case 0x0E: ++haveAlls; break;
    case 0x0F: ++haveNones; break;
    case 0x11: ++allowedFasts; break;
    default: break;
    }
}

MessageStats& MessageStats::operator+=(const MessageStats& other)
{
    total += other.total;
    chokes += other.chokes;
    unchokes += other.unchokes;
    interesteds += other.interesteds;
    notInteresteds += other.notInteresteds;
    haveAlls += other.haveAlls;
    haveNones += other.haveNones;
    bitfields += other.bitfields;
    haves += other.haves;
    suggestPieces += other.suggestPieces;
    allowedFasts += other.allowedFasts;
    requests += other.requests;
    cancelRequests += other.cancelRequests;
    pieces += other.pieces;
    return *this;
}

}  // namespace ombrelay
