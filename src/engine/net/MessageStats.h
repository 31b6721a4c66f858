#pragma once

#include <QtGlobal>

namespace ombrelay {

// Counts of wire messages of one direction.
struct MessageStats
{
    qint32 total = 0;
    qint32 chokes = 0;
    qint32 unchokes = 0;
    qint32 interesteds = 0;
    qint32 notInteresteds = 0;
    qint32 haveAlls = 0;
    qint32 haveNones = 0;
    qint32 bitfields = 0;
    qint32 haves = 0;
    qint32 suggestPieces = 0;
    qint32 allowedFasts = 0;
    qint32 requests = 0;
    qint32 cancelRequests = 0;
    qint32 pieces = 0;

    // Counts one message of the given wire id in `total` and in its own counter (ids without a counter of
    // their own, such as extension messages, only in `total`).
    void recordMessage(quint8 messageId);
    MessageStats& operator+=(const MessageStats& other);
};

// A peer's messages written and read.
struct PeerStats
{
    MessageStats written;
    MessageStats read;
};

}  // namespace ombrelay
