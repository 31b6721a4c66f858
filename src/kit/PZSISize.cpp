#include "kit/PZSISize.h"

#include <QCoreApplication>

namespace ombrelay {
namespace {

constexpr char prefixLetters[] = "kMGTPEZYXVU";
constexpr int lastPrefix = int(sizeof prefixLetters) - 2;

int fractionDigits(int prefix, double scaled)
{
    return prefix == 2 && scaled < 10 ? 2 : 1;
}

// The number rounded to the digits, without a trailing zero fraction, with "." as separator.
QString roundedNumber(double number, int digits)
{
    QString text = QString::number(number, 'f', digits);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

} // namespace

bool PZSISize::setValue(quint64 value)
{
    if (value == m_value)
        return false;
    m_value = value;
    return true;
}

QString PZSISize::description() const
{
    return m_value == 0 ? m_zeroValue : descriptionWithPostfix(m_postfix);
}

QString PZSISize::descriptionWithPostfix(const QString& unit) const
{
    double scaled = double(m_value) / 1000;
    int prefix = 0;
    while (scaled >= 1000 && prefix < lastPrefix) {
        scaled /= 1000;
        ++prefix;
    }
    QString number = roundedNumber(scaled, fractionDigits(prefix, scaled));
    // 999,999 rounds up to "1000 k": show it as "1 M" instead.
    if (number.toDouble() >= 1000 && prefix < lastPrefix) {
        scaled /= 1000;
        ++prefix;
        number = roundedNumber(scaled, fractionDigits(prefix, scaled));
    }
    number.replace(u'.', QCoreApplication::translate("PZSISize", "."));
    return QStringLiteral("%1 %2%3").arg(number, QChar::fromLatin1(prefixLetters[prefix]), unit);
}

} // namespace ombrelay
