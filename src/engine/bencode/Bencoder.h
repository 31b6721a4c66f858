#pragma once

#include "engine/bencode/BValue.h"

#include <QByteArray>

namespace ombrelay {

// Writes values in bencoding: integers in full 64 bits, dictionary keys in raw byte order.
class Bencoder
{
public:
    static constexpr int kMaxDepth = 100;

    // The encoding of value; a null QByteArray when value is null, holds a null value, or nests
    // deeper than kMaxDepth.
    static QByteArray bencodingForObject(const BValue& value);
};

}  // namespace ombrelay
