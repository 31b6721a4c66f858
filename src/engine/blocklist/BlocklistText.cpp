#include "engine/blocklist/BlocklistText.h"

#include <algorithm>

namespace ombrelay {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

}  // namespace

std::optional<quint32> BlocklistText::parseAddress(QByteArrayView text)
{
    text = trimmed(text);
    quint32 address = 0;
    int parts = 0;
    qsizetype at = 0;
    while (parts < 4) {
        int value = 0;
        int digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            if (++digits > 3)
                return std::nullopt;
            value = value * 10 + (text[at] - '0');
            ++at;
        }
        if (digits == 0 || value > 255)
            return std::nullopt;
        address = (address << 8) | quint32(value);
        if (++parts < 4) {
            if (at >= text.size() || text[at] != '.')
                return std::nullopt;
            ++at;
        }
    }
    if (at != text.size())
        return std::nullopt;
    return address;
}

std::optional<BlocklistText::Range> BlocklistText::parseLine(QByteArrayView line)
{
    if (line.size() > kMaxLineBytes)
        return std::nullopt;
    const qsizetype colon = line.lastIndexOf(':');
    if (colon < 0)
        return std::nullopt;
    const QByteArrayView addresses = line.sliced(colon + 1);
    const qsizetype dash = addresses.indexOf('-');
    if (dash < 0 || addresses.sliced(dash + 1).contains('-'))
        return std::nullopt;
    const std::optional<quint32> lower = parseAddress(addresses.first(dash));
    const std::optional<quint32> upper = parseAddress(addresses.sliced(dash + 1));
    if (!lower || !upper || *lower > *upper)
        return std::nullopt;
    return Range{*lower, *upper};
}

std::optional<BlocklistText::Parsed> BlocklistText::parse(QByteArrayView text)
{
    if (text.size() > kMaxTextBytes)
        return std::nullopt;
    Parsed parsed;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        ++parsed.lineCount;
        if (const std::optional<Range> range = parseLine(line)) {
            ++parsed.usableLines;
            parsed.ranges.append(*range);
        }
        start = end + 1;
    }
    mergeRanges(parsed.ranges);
    return parsed;
}

void BlocklistText::mergeRanges(QVector<Range>& ranges)
{
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.lower < b.lower; });
    qsizetype kept = 0;
    for (qsizetype i = 0; i < ranges.size(); ++i) {
        const Range& range = ranges[i];
        // Computed in 64 bits: a range ending at 255.255.255.255 has no successor.
        if (kept > 0 && quint64(range.lower) <= quint64(ranges[kept - 1].upper) + 1)
            ranges[kept - 1].upper = std::max(ranges[kept - 1].upper, range.upper);
        else
            ranges[kept++] = range;
    }
    ranges.resize(kept);
}

}  // namespace ombrelay
