#include "kit/PropertyList.h"

#include "kit/AtomicFile.h"
#include "kit/BinaryPlistWriter.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace ombrelay {
namespace {

// Deeper nesting than any file of ours holds; stops a crafted file from exhausting the stack.
constexpr int kMaxDepth = 256;

// Property-list dates count seconds from 1 January 2001 UTC.
const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return date;
}

// Reads a binary property list from untrusted bytes. The structure is checked before any value is made:
// every object reachable from the top lies inside the file, references stay in range, nesting is bounded,
// no object contains itself, the expanded tree stays small, and dictionary keys are strings without NUL.
class BinaryPlistReader
{
public:
    explicit BinaryPlistReader(const QByteArray& bytes)
        : m_data(reinterpret_cast<const uchar*>(bytes.constData())), m_size(quint64(bytes.size()))
    {
    }

    bool isSound()
    {
        if (m_size < 8 + 32)
            return false;
        const quint64 trailer = m_size - 32;
        m_offsetSize = m_data[trailer + 6];
        m_refSize = m_data[trailer + 7];
        m_count = number(trailer + 8, 8);
        const quint64 top = number(trailer + 16, 8);
        m_table = number(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || m_count == 0
            || top >= m_count || m_table < 8 || m_table > trailer || m_count > (trailer - m_table) / m_offsetSize)
            return false;
        m_expanded.assign(m_count, kUnvisited);
        m_keyState.assign(m_count, 0);
        m_top = top;
        return visit(top, 0) >= 0;
    }

    // The top object as a value; only after isSound() said yes.
    QVariant value() { return valueOf(m_top); }

private:
    static constexpr qint64 kUnvisited = -1;
    static constexpr qint64 kInProgress = -2;
    static constexpr qint64 kMaxNodes = 4'000'000;

    quint64 number(quint64 at, int width) const
    {
        quint64 value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | m_data[at + quint64(i)];
        return value;
    }

    // Where object `index` starts, inside the object area.
    bool offsetOf(quint64 index, quint64* offset) const
    {
        *offset = number(m_table + index * m_offsetSize, m_offsetSize);
        return *offset >= 8 && *offset < m_table;
    }

    // The element count of an object whose marker is at `offset`; `start` is where its contents begin.
    bool countOf(quint64 offset, quint64* count, quint64* start) const
    {
        const int info = m_data[offset] & 0x0F;
        if (info != 0x0F) {
            *count = quint64(info);
            *start = offset + 1;
            return true;
        }
        if (offset + 2 > m_table || (m_data[offset + 1] & 0xF0) != 0x10)
            return false;
        const int width = 1 << (m_data[offset + 1] & 0x0F);
        if (width > 8 || offset + 2 + quint64(width) > m_table)
            return false;
        *count = number(offset + 2, width);
        *start = offset + 2 + quint64(width);
        return true;
    }

    bool fits(quint64 start, quint64 count, quint64 unit) const
    {
        return start <= m_table && count <= (m_table - start) / unit;
    }

    bool isKey(quint64 index)
    {
        if (index >= m_count)
            return false;
        if (m_keyState[index] == 0) {
            m_keyState[index] = 2;
            quint64 offset = 0, count = 0, start = 0;
            if (!offsetOf(index, &offset) || !countOf(offset, &count, &start))
                return false;
            const int type = m_data[offset] >> 4;
            if (type == 0x5 && fits(start, count, 1)) {
                m_keyState[index] = std::memchr(m_data + start, 0, count) ? 2 : 1;
            } else if (type == 0x6 && fits(start, count, 2)) {
                m_keyState[index] = 1;
                for (quint64 i = 0; i < count; ++i)
                    if (m_data[start + 2 * i] == 0 && m_data[start + 2 * i + 1] == 0)
                        m_keyState[index] = 2;
            }
        }
        return m_keyState[index] == 1;
    }

    // The number of nodes the object expands to, or -1 when it is unsound.
    qint64 visit(quint64 index, int depth)
    {
        if (index >= m_count || depth > kMaxDepth || m_expanded[index] == kInProgress)
            return -1;
        if (m_expanded[index] != kUnvisited)
            return m_expanded[index];
        m_expanded[index] = kInProgress;
        const qint64 nodes = expand(index, depth);
        m_expanded[index] = nodes;
        return nodes;
    }

    qint64 expand(quint64 index, int depth)
    {
        quint64 offset = 0;
        if (!offsetOf(index, &offset))
            return -1;
        const int marker = m_data[offset];
        const int info = marker & 0x0F;
        switch (marker >> 4) {
        case 0x0:
            return marker == 0x08 || marker == 0x09 ? 1 : -1;
        case 0x1:
            return info <= 4 && fits(offset + 1, quint64(1) << info, 1) ? 1 : -1;
        case 0x2:
            return (info == 2 || info == 3) && fits(offset + 1, quint64(1) << info, 1) ? 1 : -1;
        case 0x3:
            return marker == 0x33 && fits(offset + 1, 8, 1) ? 1 : -1;
        case 0x4:
        case 0x5:
        case 0x6: {
            quint64 count = 0, start = 0;
            const quint64 unit = (marker >> 4) == 0x6 ? 2 : 1;
            return countOf(offset, &count, &start) && fits(start, count, unit) ? 1 : -1;
        }
        case 0xA:
        case 0xD: {
            quint64 count = 0, start = 0;
            const bool dict = (marker >> 4) == 0xD;
            if (!countOf(offset, &count, &start) || !fits(start, count, dict ? 2 * m_refSize : m_refSize))
                return -1;
            qint64 total = 1;
            for (quint64 i = 0; i < count; ++i) {
                if (dict && !isKey(number(start + i * m_refSize, m_refSize)))
                    return -1;
                const quint64 child = number(start + (dict ? count + i : i) * m_refSize, m_refSize);
                const qint64 nodes = visit(child, depth + 1);
                if (nodes < 0)
                    return -1;
                total += nodes + (dict ? 1 : 0);
                if (total > kMaxNodes)
                    return -1;
            }
            return total;
        }
        default:  // sets, UIDs and unknown markers: nothing of ours writes them
            return -1;
        }
    }

    QString text(quint64 offset)
    {
        quint64 count = 0, start = 0;
        countOf(offset, &count, &start);
        const char* bytes = reinterpret_cast<const char*>(m_data + start);
        if ((m_data[offset] >> 4) == 0x5)
            return QString::fromUtf8(bytes, qsizetype(count));
        QString utf16(qsizetype(count), Qt::Uninitialized);
        for (quint64 i = 0; i < count; ++i)
            utf16[qsizetype(i)] = QChar(ushort(m_data[start + 2 * i] << 8 | m_data[start + 2 * i + 1]));
        return utf16;
    }

    // Sound objects only (see isSound): what visit() accepted, read without further checks of the layout.
    QVariant valueOf(quint64 index)
    {
        quint64 offset = 0;
        offsetOf(index, &offset);
        const int marker = m_data[offset];
        const int info = marker & 0x0F;
        switch (marker >> 4) {
        case 0x0:
            return marker == 0x09;
        case 0x1:  // stored integers are signed 64-bit; 16-byte ones keep their low half
            return qint64(info == 4 ? number(offset + 9, 8) : number(offset + 1, 1 << info));
        case 0x2:
        case 0x3: {
            const quint64 bits = number(offset + 1, 1 << info);
            double real = 0;
            if (info == 2) {
                float single = 0;
                const quint32 narrow = quint32(bits);
                std::memcpy(&single, &narrow, sizeof single);
                real = single;
            } else {
                std::memcpy(&real, &bits, sizeof real);
            }
            if (marker >> 4 == 0x2)
                return real;
            // To the nearest millisecond, within the 32-bit range of seconds that dates are written in.
            const double clamped = std::isnan(real) ? 0.0
                                                    : std::clamp(real, double(std::numeric_limits<int32_t>::min()),
                                                                 double(std::numeric_limits<int32_t>::max()));
            return referenceDate().addMSecs(std::llround(clamped * 1000.0));
        }
        case 0x4: {
            quint64 count = 0, start = 0;
            countOf(offset, &count, &start);
            return QByteArray(reinterpret_cast<const char*>(m_data + start), qsizetype(count));
        }
        case 0x5:
        case 0x6:
            return text(offset);
        case 0xA: {
            quint64 count = 0, start = 0;
            countOf(offset, &count, &start);
            QVariantList list;
            list.reserve(qsizetype(count));
            for (quint64 i = 0; i < count; ++i)
                list.append(valueOf(number(start + i * m_refSize, m_refSize)));
            return list;
        }
        default: {  // 0xD: visit() let nothing else through
            quint64 count = 0, start = 0;
            countOf(offset, &count, &start);
            QVariantMap map;
            for (quint64 i = 0; i < count; ++i)
                map.insert(key(number(start + i * m_refSize, m_refSize)),
                           valueOf(number(start + (count + i) * m_refSize, m_refSize)));
            return map;
        }
        }
    }

    // Keys repeat in every dictionary of a list: each is read once and shared.
    QString key(quint64 index)
    {
        auto found = m_keys.constFind(index);
        if (found == m_keys.constEnd()) {
            quint64 offset = 0;
            offsetOf(index, &offset);
            found = m_keys.insert(index, text(offset));
        }
        return found.value();
    }

    const uchar* m_data;
    quint64 m_size;
    quint64 m_top = 0;
    QHash<quint64, QString> m_keys;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_count = 0;
    quint64 m_table = 0;
    std::vector<qint64> m_expanded;
    std::vector<char> m_keyState;  // 0 unknown, 1 a key, 2 not a key
};

}  // namespace

QVariant PropertyList::fromBinary(const QByteArray& bytes)
{
    if (!bytes.startsWith("bplist00") || bytes.size() > qsizetype(std::numeric_limits<uint32_t>::max()))
        return {};
    BinaryPlistReader reader(bytes);
    return reader.isSound() ? reader.value() : QVariant();
}

QByteArray PropertyList::toBinary(const QVariant& value)
{
    return BinaryPlistWriter::write(value, kMaxDepth);
}

QVariant PropertyList::read(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};  // a missing file is no error: the caller starts afresh
    if (file.size() > maxBytes) {
        qWarning("*** property list %s is too large (%lld bytes)", qPrintable(path), qlonglong(file.size()));
        return {};
    }
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        qWarning("*** property list %s is too large", qPrintable(path));
        return {};
    }
    QVariant value = fromBinary(bytes);
    if (!value.isValid())
        qWarning("*** property list %s is damaged", qPrintable(path));
    return value;
}

bool PropertyList::write(const QString& path, const QVariant& value, QString* error)
{
    QString reason;
    const QByteArray bytes = toBinary(value);
    if (bytes.isEmpty())
        reason = QStringLiteral("cannot store a %1 as a property list in %2").arg(value.typeName(), path);
    else if (AtomicFile::write(path, bytes, &reason))
        return true;
    qWarning("*** %s", qPrintable(reason));
    if (error)
        *error = reason;
    return false;
}

}  // namespace ombrelay
