#pragma once

#include "kit/PZRange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace ombrelay {

// Bytes and text.

// The bytes as text: UTF-8 when they are valid UTF-8, else one character per byte (Latin-1), so
// undecodable bytes from a peer or a page still give text.
QString stringWithData(QByteArrayView bytes);

// Lower-case hexadecimal, two digits per byte, no separators.
QString hexString(QByteArrayView bytes);

// The value of an ASCII digit or letter in the base (2 to 36), or -1.
int asciiDigitValue(QChar c, int base);

// Hexadecimal pairs to bytes, either case. Empty for an odd length or any non-hex character.
std::optional<QByteArray> dataFromHex(QStringView text);

// Building text.

// Empty (null) for a count below 1, "1 peer" for 1, "3 peers" otherwise (the noun with "s").
QString stringWithNumberOfObjects(qint64 count, const QString& noun);

// Percent-escapes the UTF-8 of the text for use in a URL: everything except the unreserved characters
// of RFC 3986 (letters, digits, "-", ".", "_", "~"), so "&", "=", "+", "#" and "?" survive a query.
QString escapedString(const QString& text);
// Replaces percent escapes, read as UTF-8.
QString unescapedString(const QString& text);

// Removes whitespace and newlines everywhere in the text, not only at its ends.
QString stringByStrippingWhitespace(QStringView text);
// Removes every "\n" and "\r".
QString stringByStrippingNewlines(QStringView text);
// Removes every "\n", then trims whitespace at both ends (inner whitespace stays).
QString stringByRemovingWhitespaceAndNewlines(QStringView text);

QString stringByRemovingPrefix(const QString& text, QStringView prefix);
QString stringByRemovingSuffix(const QString& text, QStringView suffix);

// Text between markers. The range starts right after the first start marker (at 0 without one) and
// ends right before the first end marker after it (at the end of the text without one, with an empty
// one, or when the end marker does not follow). Empty when the text is empty, or when the start marker
// is given but does not occur or the text is not longer than it.
std::optional<PZRange> rangeBetween(QStringView text, QStringView start, QStringView end);
// The text in rangeBetween(), or none when there is no such range.
std::optional<QString> substringBetween(QStringView text, QStringView start, QStringView end);
// substringBetween "<tag>" and "</tag>".
std::optional<QString> substringBetweenTags(QStringView text, QStringView tag);

} // namespace ombrelay
