#include "kit/BinaryPlistWriter.h"

#include <QDateTime>
#include <QHash>
#include <QTimeZone>

#include <cstring>
#include <limits>
#include <vector>

namespace ombrelay {
namespace {

const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return date;
}

void appendBigEndian(QByteArray& out, quint64 value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out += char((value >> shift) & 0xff);
}

int bytesFor(quint64 value)
{
    return value <= 0xff ? 1 : value <= 0xffff ? 2 : value <= 0xffffffffu ? 4 : 8;
}

bool isSignedInteger(int type)
{
    return type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::Long
        || type == QMetaType::LongLong || type == QMetaType::Short || type == QMetaType::UShort;
}

// Dates are stored as seconds within the 32-bit range around the reference date, as readers take them.
bool dateSeconds(const QDateTime& date, double* seconds)
{
    if (!date.isValid())
        return false;
    const qint64 ms = referenceDate().msecsTo(date);
    if (ms / 1000 < std::numeric_limits<int32_t>::min() || ms / 1000 > std::numeric_limits<int32_t>::max())
        return false;
    *seconds = double(ms) / 1000.0;
    return true;
}

class Writer
{
public:
    explicit Writer(int maxDepth) : m_maxDepth(maxDepth) {}

    // Pass one: how many objects the value takes; -1 when it cannot be written.
    qint64 count(const QVariant& value, int depth)
    {
        if (depth > m_maxDepth)
            return -1;
        const int type = value.typeId();
        if (type == QMetaType::QVariantList || type == QMetaType::QStringList) {
            qint64 total = 1;
            for (const QVariant& item : value.toList()) {
                const qint64 n = count(item, depth + 1);
                if (n < 0)
                    return -1;
                total += n;
            }
            return total;
        }
        if (type == QMetaType::QVariantMap || type == QMetaType::QVariantHash) {
            qint64 total = 1;
            const QVariantMap map = value.toMap();
            for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
                const qint64 n = count(it.value(), depth + 1);
                if (n < 0)
                    return -1;
                total += n;
                if (!m_countedKeys.contains(it.key())) {
                    m_countedKeys.insert(it.key(), 0);
                    ++total;
                }
            }
            return total;
        }
        double seconds = 0;
        if (type == QMetaType::QDateTime)
            return dateSeconds(value.toDateTime(), &seconds) ? 1 : -1;
        const bool scalar = type == QMetaType::Bool || isSignedInteger(type) || type == QMetaType::ULong
            || type == QMetaType::ULongLong || type == QMetaType::Double || type == QMetaType::Float
            || type == QMetaType::QString || type == QMetaType::QByteArray;
        return scalar ? 1 : -1;
    }

    QByteArray write(const QVariant& value, quint64 objects)
    {
        m_refSize = bytesFor(objects);
        m_offsets.reserve(objects);
        m_out = "bplist00";
        const quint64 top = put(value);
        const quint64 tableOffset = quint64(m_out.size());
        const int offsetSize = bytesFor(tableOffset);
        for (quint64 offset : m_offsets)
            appendBigEndian(m_out, offset, offsetSize);
        m_out += QByteArray(6, '\0');
        m_out += char(offsetSize);
        m_out += char(m_refSize);
        appendBigEndian(m_out, m_offsets.size(), 8);
        appendBigEndian(m_out, top, 8);
        appendBigEndian(m_out, tableOffset, 8);
        return m_out;
    }

private:
    quint64 begin()
    {
        m_offsets.push_back(quint64(m_out.size()));
        return m_offsets.size() - 1;
    }

    void marker(int kind, quint64 length)
    {
        if (length < 15) {
            m_out += char(kind << 4 | int(length));
            return;
        }
        m_out += char(kind << 4 | 0xf);
        const int bytes = bytesFor(length);
        m_out += char(0x10 | (bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : 3));
        appendBigEndian(m_out, length, bytes);
    }

    quint64 putString(const QString& text)
    {
        const quint64 index = begin();
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            marker(0x5, quint64(text.size()));
            m_out += text.toLatin1();
        } else {
            marker(0x6, quint64(text.size()));
            for (QChar c : text)
                appendBigEndian(m_out, c.unicode(), 2);
        }
        return index;
    }

    quint64 put(const QVariant& value)
    {
        const int type = value.typeId();
        if (type == QMetaType::QVariantList || type == QMetaType::QStringList) {
            std::vector<quint64> refs;
            for (const QVariant& item : value.toList())
                refs.push_back(put(item));
            const quint64 index = begin();
            marker(0xA, refs.size());
            for (quint64 ref : refs)
                appendBigEndian(m_out, ref, m_refSize);
            return index;
        }
        if (type == QMetaType::QVariantMap || type == QMetaType::QVariantHash) {
            const QVariantMap map = value.toMap();
            std::vector<quint64> keys;
            std::vector<quint64> values;
            for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
                auto key = m_keys.constFind(it.key());
                if (key == m_keys.constEnd())
                    key = m_keys.insert(it.key(), putString(it.key()));
                keys.push_back(key.value());
                values.push_back(put(it.value()));
            }
            const quint64 index = begin();
            marker(0xD, keys.size());
            for (quint64 ref : keys)
                appendBigEndian(m_out, ref, m_refSize);
            for (quint64 ref : values)
                appendBigEndian(m_out, ref, m_refSize);
            return index;
        }
        if (type == QMetaType::QString)
            return putString(value.toString());
        const quint64 index = begin();
        if (type == QMetaType::Bool) {
            m_out += char(value.toBool() ? 0x09 : 0x08);
        } else if (isSignedInteger(type) || type == QMetaType::ULong || type == QMetaType::ULongLong) {
            const bool isUnsigned = type == QMetaType::ULong || type == QMetaType::ULongLong;
            const quint64 v = isUnsigned ? value.toULongLong() : quint64(value.toLongLong());
            if (isUnsigned && v > quint64(std::numeric_limits<qint64>::max())) {
                m_out += char(0x14);  // 16 bytes: unsigned beyond the signed range
                appendBigEndian(m_out, 0, 8);
                appendBigEndian(m_out, v, 8);
            } else {
                // Negative numbers take all 8 bytes.
                const int bytes = !isUnsigned && value.toLongLong() < 0 ? 8 : bytesFor(v);
                m_out += char(0x10 | (bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : 3));
                appendBigEndian(m_out, v, bytes);
            }
        } else if (type == QMetaType::Double || type == QMetaType::Float || type == QMetaType::QDateTime) {
            double real = value.toDouble();
            if (type == QMetaType::QDateTime)
                dateSeconds(value.toDateTime(), &real);
            quint64 bits = 0;
            std::memcpy(&bits, &real, sizeof bits);
            m_out += char(type == QMetaType::QDateTime ? 0x33 : 0x23);
            appendBigEndian(m_out, bits, 8);
        } else {  // QByteArray, the last type count() lets through
            const QByteArray bytes = value.toByteArray();
            marker(0x4, quint64(bytes.size()));
            m_out += bytes;
        }
        return index;
    }

    int m_maxDepth;
    int m_refSize = 1;
    QHash<QString, int> m_countedKeys;
    QHash<QString, quint64> m_keys;
    std::vector<quint64> m_offsets;
    QByteArray m_out;
};

}  // namespace

QByteArray BinaryPlistWriter::write(const QVariant& value, int maxDepth)
{
    Writer writer(maxDepth);
    const qint64 objects = writer.count(value, 0);
    if (objects <= 0)
        return {};
    return writer.write(value, quint64(objects));
}

}  // namespace ombrelay
