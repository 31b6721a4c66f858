#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

namespace ombrelay {

// Checked reads of fixed-width values at a byte index: nothing is read unless index + width lies within
// the bytes; otherwise the answer is empty. "Byte" reads are in host byte order, "BigEndian" reads in
// network order.
std::optional<quint8> deserializeByteAtIndex(QByteArrayView bytes, qsizetype index);
std::optional<quint16> deserializeByte2AtIndex(QByteArrayView bytes, qsizetype index);
std::optional<quint32> deserializeByte4AtIndex(QByteArrayView bytes, qsizetype index);
std::optional<quint64> deserializeByte8AtIndex(QByteArrayView bytes, qsizetype index);

std::optional<quint16> deserializeBigEndian2AtIndex(QByteArrayView bytes, qsizetype index);
std::optional<quint32> deserializeBigEndian4AtIndex(QByteArrayView bytes, qsizetype index);
std::optional<quint64> deserializeBigEndian8AtIndex(QByteArrayView bytes, qsizetype index);

// Sequential checked reads for parsers of wire and file formats. A read that would run past the end
// reads nothing, answers 0 (or empty bytes) and marks the reader failed; a failed reader stays failed,
// so a parser may read a whole record and check ok() once. The reader views the bytes: they must outlive it.
class ByteReader
{
public:
    explicit ByteReader(QByteArrayView bytes) : m_bytes(bytes) {}

    bool ok() const { return !m_failed; }
    qsizetype position() const { return m_position; }
    qsizetype remaining() const { return m_bytes.size() - m_position; }
    bool atEnd() const { return m_position == m_bytes.size(); }

    quint8 readByte();
    quint16 readByte2();
    quint32 readByte4();
    quint64 readByte8();
    quint16 readBigEndian2();
    quint32 readBigEndian4();
    quint64 readBigEndian8();

    QByteArray readBytes(qsizetype count);
    bool skip(qsizetype count);

private:
    const char* take(qsizetype count);

    QByteArrayView m_bytes;
    qsizetype m_position = 0;
    bool m_failed = false;
};

// Splits at every byte equal to the separator: a leading separator gives an empty first component,
// consecutive ones give empty components between them, a trailing one gives no empty last component,
// and empty bytes give no components.
QList<QByteArray> componentsSeparatedByByte(QByteArrayView bytes, char separator);

// The bytes from fromIndex up to and including the first delimiter at or after fromIndex; empty when
// the delimiter does not occur there.
std::optional<QByteArray> getDataUpToData(QByteArrayView bytes, QByteArrayView delimiter,
                                          qsizetype fromIndex = 0);

} // namespace ombrelay
