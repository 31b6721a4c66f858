#include "kit/ByteReader.h"

#include <QtEndian>
#include <cstring>

namespace ombrelay {
namespace {

template <typename T> std::optional<T> hostValueAt(QByteArrayView bytes, qsizetype index)
{
    if (index < 0 || index > bytes.size() || qsizetype(sizeof(T)) > bytes.size() - index)
        return std::nullopt;
    T value;
    std::memcpy(&value, bytes.data() + index, sizeof value);
    return value;
}

template <typename T> std::optional<T> bigEndianValueAt(QByteArrayView bytes, qsizetype index)
{
    if (auto value = hostValueAt<T>(bytes, index))
        return qFromBigEndian(*value);
    return std::nullopt;
}

} // namespace

std::optional<quint8> deserializeByteAtIndex(QByteArrayView bytes, qsizetype index)
{
    return hostValueAt<quint8>(bytes, index);
}

std::optional<quint16> deserializeByte2AtIndex(QByteArrayView bytes, qsizetype index)
{
    return hostValueAt<quint16>(bytes, index);
}

std::optional<quint32> deserializeByte4AtIndex(QByteArrayView bytes, qsizetype index)
{
    return hostValueAt<quint32>(bytes, index);
}

std::optional<quint64> deserializeByte8AtIndex(QByteArrayView bytes, qsizetype index)
{
    return hostValueAt<quint64>(bytes, index);
}

std::optional<quint16> deserializeBigEndian2AtIndex(QByteArrayView bytes, qsizetype index)
{
    return bigEndianValueAt<quint16>(bytes, index);
}

std::optional<quint32> deserializeBigEndian4AtIndex(QByteArrayView bytes, qsizetype index)
{
    return bigEndianValueAt<quint32>(bytes, index);
}

std::optional<quint64> deserializeBigEndian8AtIndex(QByteArrayView bytes, qsizetype index)
{
    return bigEndianValueAt<quint64>(bytes, index);
}

const char* ByteReader::take(qsizetype count)
{
    if (m_failed || count < 0 || count > remaining()) {
        m_failed = true;
        return nullptr;
    }
    const char* start = m_bytes.data() + m_position;
    m_position += count;
    return start;
}

namespace {

template <typename T> T hostValue(const char* start)
{
    T value = 0;
    if (start)
        std::memcpy(&value, start, sizeof value);
    return value;
}

} // namespace

quint8 ByteReader::readByte()
{
    return hostValue<quint8>(take(1));
}
quint16 ByteReader::readByte2()
{
    return hostValue<quint16>(take(2));
}
quint32 ByteReader::readByte4()
{
    return hostValue<quint32>(take(4));
}
quint64 ByteReader::readByte8()
{
    return hostValue<quint64>(take(8));
}
quint16 ByteReader::readBigEndian2()
{
    return qFromBigEndian(readByte2());
}
quint32 ByteReader::readBigEndian4()
{
    return qFromBigEndian(readByte4());
}
quint64 ByteReader::readBigEndian8()
{
    return qFromBigEndian(readByte8());
}

QByteArray ByteReader::readBytes(qsizetype count)
{
    const char* start = take(count);
    return start ? QByteArray(start, count) : QByteArray();
}

bool ByteReader::skip(qsizetype count)
{
    return take(count) != nullptr;
}

QList<QByteArray> componentsSeparatedByByte(QByteArrayView bytes, char separator)
{
    QList<QByteArray> components;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf(separator, start);
        if (end < 0)
            end = bytes.size();
        components.append(bytes.sliced(start, end - start).toByteArray());
        start = end + 1;
    }
    return components;
}

std::optional<QByteArray> getDataUpToData(QByteArrayView bytes, QByteArrayView delimiter, qsizetype fromIndex)
{
    if (fromIndex < 0 || fromIndex > bytes.size())
        return std::nullopt;
    const qsizetype found = bytes.indexOf(delimiter, fromIndex);
    if (found < 0)
        return std::nullopt;
    return bytes.sliced(fromIndex, found + delimiter.size() - fromIndex).toByteArray();
}

} // namespace ombrelay
