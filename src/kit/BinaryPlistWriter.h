#pragma once

#include <QByteArray>
#include <QVariant>

namespace ombrelay {

// Writes values as a binary property list ("bplist00") in one pass over the value, sharing repeated
// dictionary keys: the writer behind PropertyList::toBinary. Types as PropertyList documents them.
class BinaryPlistWriter
{
public:
    // Empty when some part of the value has no property-list form, or nests deeper than maxDepth.
    static QByteArray write(const QVariant& value, int maxDepth);
};

}  // namespace ombrelay
