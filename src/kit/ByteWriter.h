#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

namespace ombrelay {

// Appending and overwriting fixed-width values in a growable buffer.
//
// The "Byte" functions copy the value in host byte order, as this machine's own stored files hold it;
// the "BigEndian" functions write network order, as the wire wants it. Each append adds exactly the
// value's width. An overwrite changes bytes only when the buffer already holds index + width bytes and
// answers false (buffer untouched) otherwise.

void appendByte(QByteArray& buffer, quint8 value);
void appendByte2(QByteArray& buffer, quint16 value);
void appendByte4(QByteArray& buffer, quint32 value);
void appendByte8(QByteArray& buffer, quint64 value);

void appendBigEndian2(QByteArray& buffer, quint16 value);
void appendBigEndian4(QByteArray& buffer, quint32 value);
void appendBigEndian8(QByteArray& buffer, quint64 value);

[[nodiscard]] bool serializeByte(QByteArray& buffer, quint8 value, qsizetype index);
[[nodiscard]] bool serializeByte2(QByteArray& buffer, quint16 value, qsizetype index);
[[nodiscard]] bool serializeByte4(QByteArray& buffer, quint32 value, qsizetype index);
[[nodiscard]] bool serializeByte8(QByteArray& buffer, quint64 value, qsizetype index);

[[nodiscard]] bool serializeBigEndian2(QByteArray& buffer, quint16 value, qsizetype index);
[[nodiscard]] bool serializeBigEndian4(QByteArray& buffer, quint32 value, qsizetype index);
[[nodiscard]] bool serializeBigEndian8(QByteArray& buffer, quint64 value, qsizetype index);

// Replaces bytes.size() bytes from the index with the given bytes.
[[nodiscard]] bool serializeData(QByteArray& buffer, QByteArrayView bytes, qsizetype index);

// Appends the text's ASCII bytes, without a terminating zero. Text that is not pure ASCII appends
// nothing and answers false. (For UTF-8, append text.toUtf8().)
bool appendStringA(QByteArray& buffer, QStringView text);

} // namespace ombrelay
