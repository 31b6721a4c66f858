#include "engine/bencode/Bencoder.h"

namespace ombrelay {

namespace {

void appendBytes(QByteArray& out, const QByteArray& bytes)
{
    out += QByteArray::number(bytes.size());
    out += ':';
    out += bytes;
}

bool write(QByteArray& out, const BValue& value, int depth)
{
    switch (value.type()) {
    case BValue::Type::Null:
        return false;
    case BValue::Type::Integer:
        out += 'i';
        out += QByteArray::number(value.asInt());
        out += 'e';
        return true;
    case BValue::Type::Bytes:
        appendBytes(out, value.asBytes());
        return true;
    case BValue::Type::List:
        if (depth >= Bencoder::kMaxDepth)
            return false;
        out += 'l';
        for (const BValue& element : value.asList()) {
            if (!write(out, element, depth + 1))
                return false;
        }
        out += 'e';
        return true;
    case BValue::Type::Dictionary:
        if (depth >= Bencoder::kMaxDepth)
            return false;
        out += 'd';
        for (const auto& [key, element] : value.asDict()) {  // already in raw byte order
            appendBytes(out, key);
            if (!write(out, element, depth + 1))
                return false;
        }
        out += 'e';
        return true;
    }
    return false;
}

}  // namespace

QByteArray Bencoder::bencodingForObject(const BValue& value)
{
    QByteArray out;
    if (!write(out, value, 0))
        return QByteArray();
    return out;
}

}  // namespace ombrelay
