#pragma once

#include <QVariant>

#include "uikit/PZSortDescriptor.h"

namespace ombrelay {

// Sort orders as stored in the settings: a list with one entry per key, each a list of three strings
// (key, "1" ascending or "0" descending, comparison name). Registered as "PZSortDescriptorTransformer".
class PZSortDescriptorTransformer
{
public:
    static QString name() { return QStringLiteral("PZSortDescriptorTransformer"); }
    // Entries with fewer than three elements, or that are not lists, are skipped.
    static PZSortDescriptors transformedValue(const QVariant& stored);
    static QVariant reverseTransformedValue(const PZSortDescriptors& descriptors);
};

}  // namespace ombrelay
