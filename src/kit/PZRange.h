#pragma once

#include <QtGlobal>
#include <algorithm>

namespace ombrelay {

// A 64-bit byte range: location and length; its end is location + length.
struct PZRange
{
    quint64 location = 0;
    quint64 length = 0;

    friend bool operator==(const PZRange&, const PZRange&) = default;
};

constexpr PZRange PZMakeRange(quint64 location, quint64 length)
{
    return {location, length};
}

constexpr quint64 PZMaxRange(PZRange range)
{
    return range.location + range.length;
}

// Only {0, 0} is empty: a zero-length range at a non-zero location is not.
constexpr bool PZRangeIsEmpty(PZRange range)
{
    return range.location == 0 && range.length == 0;
}

// Ranges that only touch do not intersect.
constexpr bool PZRangesIntersect(PZRange a, PZRange b)
{
    if (PZMaxRange(a) < b.location || PZMaxRange(b) < a.location)
        return false;
    return std::min(PZMaxRange(a), PZMaxRange(b)) != std::max(a.location, b.location);
}

// The common part of two ranges, or {0, 0} when they are apart.
constexpr PZRange PZIntersectionRange(PZRange a, PZRange b)
{
    const quint64 start = std::max(a.location, b.location);
    const quint64 end = std::min(PZMaxRange(a), PZMaxRange(b));
    if (end < start)
        return {};
    return {start, end - start};
}

} // namespace ombrelay
