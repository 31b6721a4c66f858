#pragma once

#include <QtGlobal>

namespace ombrelay {

// A stream cipher applied in place, byte after byte in stream order (message stream encryption plugs in
// here). The streams call it exactly once for every byte, in the order the bytes cross the socket.
class StreamCipher
{
public:
    virtual ~StreamCipher() = default;
    virtual void apply(char* data, qsizetype length) = 0;
};

}  // namespace ombrelay
