#pragma once

#include "engine/bencode/BValue.h"

#include <QByteArray>

namespace ombrelay {

// Decodes one bencoded input in a single pass with an explicit stack of open containers.
//
// Refused inputs give a null object(): empty or over the caller's cap, truncated, malformed integers
// or lengths (digits only, an optional "-" for integers, no overflow), a dictionary key that is not
// a byte string, a dictionary closed after a key without its value, nesting deeper than kMaxDepth,
// more than kMaxValues values. Accepted as they come: unsorted and repeated keys (the last wins,
// except a repeated top-level "info", where the first wins so that it matches infoHash()), leading
// zeros, and bytes after the top-level value, which are kept as residualData().
class Bdecoder
{
public:
    static constexpr qsizetype kMetainfoLimit = qsizetype(64) << 20;
    static constexpr qsizetype kTrackerReplyLimit = qsizetype(2) << 20;
    static constexpr qsizetype kDatagramLimit = 65536;
    static constexpr int kMaxDepth = 100;
    static constexpr qsizetype kMaxValues = 4'000'000;

    // maxInput: the largest input this caller accepts (one of the limits above, or its own).
    Bdecoder(const QByteArray& data, qsizetype maxInput);

    const BValue& object() const { return m_object; }       // null when refused
    BValue takeObject() { return std::move(m_object); }
    // SHA-1 over the exact input bytes of the top-level dictionary's "info" value; empty if none.
    QByteArray infoHash() const { return m_infoHash; }
    // The bytes after the top-level value; empty when none followed.
    QByteArray residualData() const { return m_residualData; }

private:
    bool decode(const QByteArray& data);

    BValue m_object;
    QByteArray m_infoHash;
    QByteArray m_residualData;
};

}  // namespace ombrelay
