#include "engine/bencode/Bdecoder.h"

#include "kit/PZCrypto.h"

#include <limits>

namespace ombrelay {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// An open container and, for a dictionary, the key read but not yet given its value.
struct Frame
{
    BValue container;
    QByteArray key;
    bool hasKey = false;
};

}  // namespace

Bdecoder::Bdecoder(const QByteArray& data, qsizetype maxInput)
{
    if (data.isEmpty() || data.size() > maxInput || !decode(data))
        m_object = BValue();
}

bool Bdecoder::decode(const QByteArray& data)
{
    const char* const bytes = data.constData();
    const qsizetype end = data.size();
    qsizetype i = 0;
    qsizetype values = 0;
    qsizetype infoStart = -1;
    qsizetype infoEnd = -1;
    std::vector<Frame> stack;

    for (;;) {
        if (i >= end)
            return false;
        const char c = bytes[i];
        if (!stack.empty() && stack.back().container.isDict() && !stack.back().hasKey && !isDigit(c) && c != 'e')
            return false;  // a dictionary key must be a byte string

        BValue value;
        switch (c) {
        case 'd':
        case 'l':
            if (int(stack.size()) >= kMaxDepth)
                return false;
            stack.push_back(Frame{c == 'd' ? BValue::dictionary() : BValue::list(), {}, false});
            ++i;
            continue;
        case 'e':
            if (stack.empty() || stack.back().hasKey)
                return false;
            value = std::move(stack.back().container);
            stack.pop_back();
            ++i;
            break;
        case 'i': {
            qsizetype j = i + 1;
            const bool negative = j < end && bytes[j] == '-';
            if (negative)
                ++j;
            const qsizetype digitsStart = j;
            // The magnitude may reach 2^63 only when negative.
            const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (negative ? 1 : 0);
            quint64 magnitude = 0;
            for (; j < end && isDigit(bytes[j]); ++j) {
                const unsigned digit = unsigned(bytes[j] - '0');
                if (magnitude > (limit - digit) / 10)
                    return false;
                magnitude = magnitude * 10 + digit;
            }
            if (j == digitsStart || j >= end || bytes[j] != 'e')
                return false;
            value = negative ? qint64(0 - magnitude) : qint64(magnitude);
            i = j + 1;
            break;
        }
        default: {
            if (!isDigit(c))
                return false;
            qsizetype length = 0;
            qsizetype j = i;
            for (; j < end && isDigit(bytes[j]); ++j) {
                length = length * 10 + (bytes[j] - '0');
                if (length > end)
                    return false;  // longer than the whole input: also keeps the sum from overflowing
            }
            if (j >= end || bytes[j] != ':' || length > end - (j + 1))
                return false;
            value = QByteArray(bytes + j + 1, length);
            i = j + 1 + length;
            break;
        }
        }

        if (++values > kMaxValues)
            return false;
        if (stack.empty()) {
            m_object = std::move(value);
            if (i < end)
                m_residualData = data.mid(i);
            if (infoEnd > infoStart && infoStart >= 0)
                m_infoHash = PZCrypto::sha1InRange(data, infoStart, infoEnd - infoStart);
            return true;
        }

        Frame& top = stack.back();
        const bool topLevel = stack.size() == 1;
        if (BValue::List* list = top.container.mutableList()) {
            list->push_back(std::move(value));
        } else if (!top.hasKey) {
            top.key = value.asBytes();
            top.hasKey = true;
            if (topLevel && infoStart < 0 && top.key == "info")
                infoStart = i;
        } else {
            BValue::Dict& dict = *top.container.mutableDict();
            if (topLevel && top.key == "info") {
                // The first top-level "info" is the one hashed, so it is the one kept.
                if (infoEnd < 0) {
                    infoEnd = i;
                    dict.insert_or_assign(std::move(top.key), std::move(value));
                }
            } else {
                dict.insert_or_assign(std::move(top.key), std::move(value));
            }
            top.key = QByteArray();
            top.hasKey = false;
        }
    }
}

}  // namespace ombrelay
