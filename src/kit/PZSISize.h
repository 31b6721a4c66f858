#pragma once

#include <QString>
#include <utility>

namespace ombrelay {

// A count written with an SI prefix (base 1000): "0.5 kB", "1.23 GB". Never below "k"; one fraction
// digit, two for single-digit giga values; no trailing zero fraction. The decimal separator is the
// translation of "." (a "." unless a translation says otherwise), never the user's locale.
// A value type: copy it, keep it, or use sizeWithValue(n).description() in passing.
class PZSISize
{
public:
    PZSISize() = default;
    explicit PZSISize(quint64 value) : m_value(value) {}

    static PZSISize sizeWithValue(quint64 value) { return PZSISize(value); }

    quint64 value() const { return m_value; }
    // True when the value changed.
    bool setValue(quint64 value);

    const QString& postfix() const { return m_postfix; }
    void setPostfix(const QString& postfix) { m_postfix = postfix; }
    // The text for a value of 0.
    const QString& zeroValue() const { return m_zeroValue; }
    void setZeroValue(const QString& zeroValue) { m_zeroValue = zeroValue; }

    // The zero value for 0, else descriptionWithPostfix(postfix()).
    QString description() const;
    // The value with prefix letter and unit, whatever the value: "%1 %2%3".
    QString descriptionWithPostfix(const QString& unit) const;

protected:
    PZSISize(quint64 value, QString postfix, QString zeroValue)
        : m_value(value), m_postfix(std::move(postfix)), m_zeroValue(std::move(zeroValue))
    {
    }

private:
    quint64 m_value = 0;
    QString m_postfix;
    QString m_zeroValue = QStringLiteral("-");
};

} // namespace ombrelay
