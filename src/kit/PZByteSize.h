#pragma once

#include "kit/PZSISize.h"

#include <QCoreApplication>
#include <utility>

namespace ombrelay {

// A byte count: "1.5 kB", "-" for none.
class PZByteSize : public PZSISize
{
public:
    explicit PZByteSize(quint64 value = 0)
        : PZSISize(value, QCoreApplication::translate("PZByteSize", "B"), QStringLiteral("-"))
    {
    }

    static PZByteSize sizeWithValue(quint64 value) { return PZByteSize(value); }

protected:
    PZByteSize(quint64 value, QString postfix, QString zeroValue)
        : PZSISize(value, std::move(postfix), std::move(zeroValue))
    {
    }
};

} // namespace ombrelay
