#pragma once

#include "kit/PZByteSize.h"

namespace ombrelay {

// A transfer rate in bytes per second: "2.5 MB/s", the empty text for none.
class PZBandwidth : public PZByteSize
{
public:
    explicit PZBandwidth(quint64 value = 0)
        : PZByteSize(value, QCoreApplication::translate("PZBandwidth", "B/s"), QString())
    {
    }

    static PZBandwidth sizeWithValue(quint64 value) { return PZBandwidth(value); }
};

} // namespace ombrelay
