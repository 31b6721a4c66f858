#pragma once

#include <QtGlobal>
#include <chrono>

namespace ombrelay {

// Milliseconds of a clock that never jumps with the wall clock, for time-outs and intervals.
inline qint64 steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace ombrelay
