#include "kit/ByteWriter.h"

#include <QtEndian>
#include <cstring>

namespace ombrelay {
namespace {

template <typename T> void appendRaw(QByteArray& buffer, T value)
{
    buffer.append(reinterpret_cast<const char*>(&value), qsizetype(sizeof value));
}

template <typename T> bool overwriteRaw(QByteArray& buffer, T value, qsizetype index)
{
    return serializeData(
        buffer, QByteArrayView(reinterpret_cast<const char*>(&value), qsizetype(sizeof value)), index);
}

} // namespace

void appendByte(QByteArray& buffer, quint8 value)
{
    buffer.append(char(value));
}
void appendByte2(QByteArray& buffer, quint16 value)
{
    appendRaw(buffer, value);
}
void appendByte4(QByteArray& buffer, quint32 value)
{
    appendRaw(buffer, value);
}
void appendByte8(QByteArray& buffer, quint64 value)
{
    appendRaw(buffer, value);
}

void appendBigEndian2(QByteArray& buffer, quint16 value)
{
    appendRaw(buffer, qToBigEndian(value));
}
void appendBigEndian4(QByteArray& buffer, quint32 value)
{
    appendRaw(buffer, qToBigEndian(value));
}
void appendBigEndian8(QByteArray& buffer, quint64 value)
{
    appendRaw(buffer, qToBigEndian(value));
}

bool serializeByte(QByteArray& buffer, quint8 value, qsizetype index)
{
    return overwriteRaw(buffer, value, index);
}
bool serializeByte2(QByteArray& buffer, quint16 value, qsizetype index)
{
    return overwriteRaw(buffer, value, index);
}
bool serializeByte4(QByteArray& buffer, quint32 value, qsizetype index)
{
    return overwriteRaw(buffer, value, index);
}
bool serializeByte8(QByteArray& buffer, quint64 value, qsizetype index)
{
    return overwriteRaw(buffer, value, index);
}

bool serializeBigEndian2(QByteArray& buffer, quint16 value, qsizetype index)
{
    return overwriteRaw(buffer, qToBigEndian(value), index);
}

bool serializeBigEndian4(QByteArray& buffer, quint32 value, qsizetype index)
{
    return overwriteRaw(buffer, qToBigEndian(value), index);
}

bool serializeBigEndian8(QByteArray& buffer, quint64 value, qsizetype index)
{
    return overwriteRaw(buffer, qToBigEndian(value), index);
}

bool serializeData(QByteArray& buffer, QByteArrayView bytes, qsizetype index)
{
    if (index < 0 || index > buffer.size() || bytes.size() > buffer.size() - index)
        return false;
    if (!bytes.isEmpty())
        std::memmove(buffer.data() + index, bytes.data(), size_t(bytes.size()));
    return true;
}

bool appendStringA(QByteArray& buffer, QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    buffer.reserve(buffer.size() + text.size());
    for (QChar c : text)
        buffer.append(char(c.unicode()));
    return true;
}

} // namespace ombrelay
