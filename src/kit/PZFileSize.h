#pragma once

#include "kit/PZByteSize.h"

namespace ombrelay {

// A file's length: "12.3 GB", the empty text for none.
class PZFileSize : public PZByteSize
{
public:
    explicit PZFileSize(quint64 value = 0)
        : PZByteSize(value, QCoreApplication::translate("PZByteSize", "B"), QString())
    {
    }

    static PZFileSize sizeWithValue(quint64 value) { return PZFileSize(value); }
};

} // namespace ombrelay
