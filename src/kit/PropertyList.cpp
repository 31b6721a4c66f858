#include "kit/PropertyList.h"

#include "kit/AtomicFile.h"

#include <QDateTime>
#include <QFile>
#include <QTimeZone>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>
#include <plist/plist.h>

namespace ombrelay {
namespace {

// Deeper nesting than any file of ours holds; stops a crafted file from exhausting the stack.
constexpr int kMaxDepth = 256;

struct PlistDeleter
{
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Property-list dates count seconds from 1 January 2001 UTC.
const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return date;
}

// libplist trusts its input: deep or cyclic nesting overflows its stack, a shared object is expanded once per
// reference, and a key holding a NUL byte trips an assertion. So the structure is checked here first: every
// object reachable from the top lies inside the file, references stay in range, nesting is bounded, no
// object contains itself, the expanded tree stays small, and dictionary keys are strings without NUL.
class BinaryPlistCheck
{
public:
    explicit BinaryPlistCheck(const QByteArray& bytes)
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
        return visit(top, 0) >= 0;
    }

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

    const uchar* m_data;
    quint64 m_size;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_count = 0;
    quint64 m_table = 0;
    std::vector<qint64> m_expanded;
    std::vector<char> m_keyState;  // 0 unknown, 1 a key, 2 not a key
};

// Reads the node, consuming its children.
QVariant toVariant(plist_t node, int depth, bool* ok)
{
    if (depth > kMaxDepth) {
        *ok = false;
        return {};
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return bool(value);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return qint64(value);  // stored integers are signed 64-bit
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return text ? QString::fromUtf8(text, qsizetype(length)) : QString();
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        return bytes ? QByteArray(bytes, qsizetype(length)) : QByteArray();
    }
    case PLIST_DATE: {
        int32_t seconds = 0, micros = 0;
        plist_get_date_val(node, &seconds, &micros);
        return referenceDate().addMSecs(qint64(seconds) * 1000 + micros / 1000);
    }
    case PLIST_ARRAY: {
        // libplist walks its child list to reach the n-th item, so indexed reads of a long array take
        // quadratic time; each item is read as the first one and then freed instead.
        QVariantList list;
        list.reserve(plist_array_get_size(node));
        while (*ok && plist_array_get_size(node) > 0) {
            list.append(toVariant(plist_array_get_item(node, 0), depth + 1, ok));
            plist_array_remove_item(node, 0);
        }
        return list;
    }
    case PLIST_DICT: {
        // As with arrays: always the first entry, which is then removed.
        QVariantMap map;
        while (*ok) {
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            free(it);
            if (!value || !key) {
                free(key);
                break;
            }
            map.insert(QString::fromUtf8(key), toVariant(value, depth + 1, ok));
            plist_dict_remove_item(node, key);
            free(key);
        }
        return map;
    }
    default:  // UIDs belong to archived objects, which none of our files hold
        *ok = false;
        return {};
    }
}

plist_t fromVariant(const QVariant& value, int depth)
{
    if (depth > kMaxDepth)
        return nullptr;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return plist_new_uint(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = referenceDate().msecsTo(value.toDateTime());
        const qint64 seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        if (!value.toDateTime().isValid() || seconds < std::numeric_limits<int32_t>::min()
            || seconds > std::numeric_limits<int32_t>::max())
            return nullptr;
        return plist_new_date(int32_t(seconds), int32_t((ms - seconds * 1000) * 1000));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        PlistPtr array(plist_new_array());
        for (const QVariant& item : value.toList()) {
            plist_t child = fromVariant(item, depth + 1);
            if (!child)
                return nullptr;
            plist_array_append_item(array.get(), child);
        }
        return array.release();
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        PlistPtr dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            plist_t child = fromVariant(it.value(), depth + 1);
            if (!child)
                return nullptr;
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child);
        }
        return dict.release();
    }
    default:
        return nullptr;
    }
}

}  // namespace

QVariant PropertyList::fromBinary(const QByteArray& bytes)
{
    if (!bytes.startsWith("bplist00") || bytes.size() > qsizetype(std::numeric_limits<uint32_t>::max())
        || !BinaryPlistCheck(bytes).isSound())
        return {};
    plist_t root = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
    if (!root)
        return {};
    PlistPtr owner(root);
    bool ok = true;
    QVariant value = toVariant(root, 0, &ok);
    return ok ? value : QVariant();
}

QByteArray PropertyList::toBinary(const QVariant& value)
{
    PlistPtr root(fromVariant(value, 0));
    if (!root)
        return {};
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    QByteArray result(bytes, bytes ? qsizetype(length) : 0);
    plist_to_bin_free(bytes);
    return result;
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

bool PropertyList::write(const QString& path, const QVariant& value)
{
    const QByteArray bytes = toBinary(value);
    if (bytes.isEmpty()) {
        qWarning("*** cannot store a %s as a property list in %s", value.typeName(), qPrintable(path));
        return false;
    }
    QString error;
    if (!AtomicFile::write(path, bytes, &error)) {
        qWarning("*** %s", qPrintable(error));
        return false;
    }
    return true;
}

}  // namespace ombrelay
