#pragma once

#include <QByteArrayView>
#include <QVector>
#include <optional>

namespace ombrelay {

// The text list of address ranges a blocklist is imported from: one range a line, "name:first-last"
// with dotted IPv4 addresses. Only the part after the last ":" is read, so a name may hold colons.
// Lines end at "\n"; a "\r" before it is dropped. Other lines are skipped.
class BlocklistText
{
public:
    // Both bounds included, host order (w.x.y.z is w << 24 | x << 16 | y << 8 | z).
    struct Range
    {
        quint32 lower = 0;
        quint32 upper = 0;
        bool operator==(const Range&) const = default;
    };

    struct Parsed
    {
        qint64 lineCount = 0;    // every line, usable or not
        qint64 usableLines = 0;  // lines that gave a range
        QVector<Range> ranges;   // sorted by lower bound, disjoint, none adjacent
    };

    static constexpr qsizetype kMaxTextBytes = qsizetype(128) << 20;
    static constexpr qsizetype kMaxLineBytes = 4096;  // longer lines are skipped

    // Four "."-separated parts of 1 to 3 digits, each at most 255; spaces and tabs around it allowed.
    static std::optional<quint32> parseAddress(QByteArrayView text);
    // A range whose first address is above its last is skipped like any malformed line.
    static std::optional<Range> parseLine(QByteArrayView line);
    // Every line of the text, the ranges merged; empty when the text is over kMaxTextBytes.
    static std::optional<Parsed> parse(QByteArrayView text);
    // Sorts and merges overlapping, nested and adjacent ranges, so that the range with the largest lower
    // bound not above an address is the only one that can hold it.
    static void mergeRanges(QVector<Range>& ranges);
};

}  // namespace ombrelay
