#include "kit/TextHelpers.h"

#include <QStringDecoder>
#include <QUrl>

namespace ombrelay {
namespace {

template <typename Predicate> QString withoutCharacters(QStringView text, Predicate drop)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (!drop(c))
            result.append(c);
    }
    return result;
}

bool isNewline(QChar c)
{
    return c == u'\n' || c == u'\r';
}

} // namespace

int asciiDigitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int value = -1;
    if (u >= '0' && u <= '9')
        value = u - '0';
    else if (u >= 'a' && u <= 'z')
        value = u - 'a' + 10;
    else if (u >= 'A' && u <= 'Z')
        value = u - 'A' + 10;
    return value < base ? value : -1;
}

QString stringWithData(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QString hexString(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex());
}

std::optional<QByteArray> dataFromHex(QStringView text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const int high = asciiDigitValue(text[i], 16);
        const int low = asciiDigitValue(text[i + 1], 16);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(high << 4 | low));
    }
    return bytes;
}

QString stringWithNumberOfObjects(qint64 count, const QString& noun)
{
    if (count < 1)
        return {};
    if (count == 1)
        return QStringLiteral("1 %1").arg(noun);
    return QStringLiteral("%1 %2s").arg(count).arg(noun);
}

QString escapedString(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString unescapedString(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

QString stringByStrippingWhitespace(QStringView text)
{
    return withoutCharacters(text, [](QChar c) { return c.isSpace(); });
}

QString stringByStrippingNewlines(QStringView text)
{
    return withoutCharacters(text, isNewline);
}

QString stringByRemovingWhitespaceAndNewlines(QStringView text)
{
    return withoutCharacters(text, [](QChar c) { return c == u'\n'; }).trimmed();
}

QString stringByRemovingPrefix(const QString& text, QStringView prefix)
{
    return text.startsWith(prefix) ? text.sliced(prefix.size()) : text;
}

QString stringByRemovingSuffix(const QString& text, QStringView suffix)
{
    return text.endsWith(suffix) ? text.chopped(suffix.size()) : text;
}

std::optional<PZRange> rangeBetween(QStringView text, QStringView start, QStringView end)
{
    if (text.isEmpty())
        return std::nullopt;
    qsizetype from = 0;
    if (!start.isEmpty()) {
        if (text.size() <= start.size())
            return std::nullopt;
        const qsizetype found = text.indexOf(start);
        if (found < 0)
            return std::nullopt;
        from = found + start.size();
    }
    qsizetype to = text.size();
    if (!end.isEmpty()) {
        const qsizetype found = text.indexOf(end, from);
        if (found >= 0)
            to = found;
    }
    return PZMakeRange(quint64(from), quint64(to - from));
}

std::optional<QString> substringBetween(QStringView text, QStringView start, QStringView end)
{
    const std::optional<PZRange> range = rangeBetween(text, start, end);
    if (!range)
        return std::nullopt;
    return text.sliced(qsizetype(range->location), qsizetype(range->length)).toString();
}

std::optional<QString> substringBetweenTags(QStringView text, QStringView tag)
{
    return substringBetween(text, QStringLiteral("<%1>").arg(tag), QStringLiteral("</%1>").arg(tag));
}

} // namespace ombrelay
