#pragma once

#include <QVariant>

namespace ombrelay {

// Registered as "PZStringIsEmpty": true for a null value or the empty string.
class PZStringIsEmpty
{
public:
    static QString name() { return QStringLiteral("PZStringIsEmpty"); }
    static bool transformedValue(const QVariant& value);
};

}  // namespace ombrelay
