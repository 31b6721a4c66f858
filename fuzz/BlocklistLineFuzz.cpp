// Blocklist text lists: every line's range, and the merged ranges of the whole text.
#include "engine/blocklist/BlocklistText.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace ombrelay;
using Range = BlocklistText::Range;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "*** blocklist fuzz: %s\n", what);
        std::abort();
    }
}

QByteArray dotted(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF)
        .toLatin1();
}

bool covered(const QVector<Range>& merged, const Range& range)
{
    for (const Range& m : merged)
        if (m.lower <= range.lower && range.upper <= m.upper)
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<BlocklistText::Parsed> parsed = BlocklistText::parse(text);
    check(parsed.has_value(), "a small text refused");
    check(parsed->usableLines <= parsed->lineCount, "more usable lines than lines");
    check(parsed->ranges.size() <= parsed->usableLines, "more ranges than usable lines");

    const QVector<Range>& merged = parsed->ranges;
    for (qsizetype i = 0; i < merged.size(); ++i) {
        check(merged[i].lower <= merged[i].upper, "a merged range runs backwards");
        if (i > 0)
            check(quint64(merged[i - 1].upper) + 1 < quint64(merged[i].lower), "merged ranges touch or overlap");
    }

    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const std::optional<Range> range = BlocklistText::parseLine(text.sliced(start, end - start));
        if (range) {
            check(range->lower <= range->upper, "a line's range runs backwards");
            check(covered(merged, *range), "a line's range is not covered by the merged ranges");
            const QByteArray again = "x:" + dotted(range->lower) + '-' + dotted(range->upper);
            check(BlocklistText::parseLine(again) == range, "a range does not read back");
        }
        start = end + 1;
    }
    return 0;
}
