#include "engine/torrent/PZIndexSet.h"

#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <bit>

namespace ombrelay {

namespace {

constexpr quint64 kAllBits = ~quint64(0);

size_t wordsFor(quint64 capacity)
{
    return size_t(capacity / 64 + (capacity % 64 ? 1 : 0));
}

quint64 bitFor(quint64 index)
{
    return quint64(1) << (63 - index % 64);
}

// The bits of a word at positions below `bits` (counted from the top).
quint64 highBits(unsigned bits)
{
    return bits == 0 ? 0 : bits >= 64 ? kAllBits : kAllBits << (64 - bits);
}

// Members in [from, to) of the words, to <= 64 * words.size().
qint64 countBetween(const std::vector<quint64>& words, quint64 from, quint64 to)
{
    qint64 total = 0;
    while (from < to) {
        const quint64 word = words[size_t(from / 64)];
        const unsigned offset = unsigned(from % 64);
        const unsigned span = unsigned(std::min<quint64>(64 - offset, to - from));
        const quint64 mask = highBits(offset + span) & ~highBits(offset);
        total += std::popcount(word & mask);
        from += span;
    }
    return total;
}

}  // namespace

PZIndexSet::PZIndexSet(quint64 capacity) : m_capacity(capacity), m_words(wordsFor(capacity), 0)
{
}

PZIndexSet PZIndexSet::filledSetWithLength(quint64 length)
{
    PZIndexSet set(length);
    std::fill(set.m_words.begin(), set.m_words.end(), kAllBits);
    if (length % 64)
        set.m_words.back() = highBits(unsigned(length % 64));
    set.m_count = qint64(length);
    return set;
}

PZIndexSet::PZIndexSet(const PZIndexSet& other)
{
    std::lock_guard guard(other.m_lock);
    m_capacity = other.m_capacity;
    m_words = other.m_words;
    m_count = other.m_count;
}

PZIndexSet::PZIndexSet(PZIndexSet&& other) noexcept
{
    std::lock_guard guard(other.m_lock);
    m_capacity = std::exchange(other.m_capacity, 0);
    m_words = std::move(other.m_words);
    other.m_words.clear();
    m_count = std::exchange(other.m_count, 0);
}

PZIndexSet& PZIndexSet::operator=(const PZIndexSet& other)
{
    if (this != &other) {
        std::scoped_lock guard(m_lock, other.m_lock);
        m_capacity = other.m_capacity;
        m_words = other.m_words;
        m_count = other.m_count;
    }
    return *this;
}

PZIndexSet& PZIndexSet::operator=(PZIndexSet&& other) noexcept
{
    if (this != &other) {
        std::scoped_lock guard(m_lock, other.m_lock);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_words = std::move(other.m_words);
        other.m_words.clear();
        m_count = std::exchange(other.m_count, 0);
    }
    return *this;
}

quint64 PZIndexSet::capacity() const
{
    std::lock_guard guard(m_lock);
    return m_capacity;
}

bool PZIndexSet::addIndex(quint64 index)
{
    std::lock_guard guard(m_lock);
    if (index >= m_capacity)
        return false;
    quint64& word = m_words[size_t(index / 64)];
    if (!(word & bitFor(index))) {
        word |= bitFor(index);
        if (m_count >= 0)
            ++m_count;
    }
    return true;
}

void PZIndexSet::removeIndex(quint64 index)
{
    std::lock_guard guard(m_lock);
    if (index >= m_capacity)
        return;
    quint64& word = m_words[size_t(index / 64)];
    if (word & bitFor(index)) {
        word &= ~bitFor(index);
        if (m_count >= 0)
            --m_count;
    }
}

bool PZIndexSet::containsIndex(quint64 index) const
{
    std::lock_guard guard(m_lock);
    return index < m_capacity && (m_words[size_t(index / 64)] & bitFor(index));
}

void PZIndexSet::removeAllIndexes()
{
    std::lock_guard guard(m_lock);
    std::fill(m_words.begin(), m_words.end(), 0);
    m_count = 0;
}

QByteArray PZIndexSet::bitfield() const
{
    std::lock_guard guard(m_lock);
    const qsizetype length = qsizetype(m_capacity / 8 + (m_capacity % 8 ? 1 : 0));
    QByteArray bytes(length, Qt::Uninitialized);
    for (qsizetype k = 0; k < length; ++k)
        bytes[k] = char(m_words[size_t(k / 8)] >> (56 - 8 * (k % 8)));
    return bytes;
}

bool PZIndexSet::setBitfield(const QByteArray& bitfield)
{
    std::lock_guard guard(m_lock);
    const qsizetype length = qsizetype(m_capacity / 8 + (m_capacity % 8 ? 1 : 0));
    if (bitfield.size() != length)
        return false;
    if (m_capacity % 8 && (uchar(bitfield.back()) & (0xFFu >> (m_capacity % 8))))
        return false;  // spare bits set
    std::fill(m_words.begin(), m_words.end(), 0);
    for (qsizetype k = 0; k < length; ++k)
        m_words[size_t(k / 8)] |= quint64(uchar(bitfield[k])) << (56 - 8 * (k % 8));
    m_count = -1;
    return true;
}

bool PZIndexSet::loadStoredBitfield(const QByteArray& bitfield)
{
    std::lock_guard guard(m_lock);
    std::fill(m_words.begin(), m_words.end(), 0);
    bool dropped = false;
    for (qsizetype k = 0; k < bitfield.size(); ++k) {
        uchar byte = uchar(bitfield[k]);
        const quint64 first = quint64(k) * 8;
        if (first + 8 > m_capacity) {
            const uchar kept = first >= m_capacity ? 0 : uchar(0xFF00u >> (m_capacity - first));
            dropped = dropped || (byte & ~kept);
            byte &= kept;
        }
        if (byte)
            m_words[size_t(k / 8)] |= quint64(byte) << (56 - 8 * (k % 8));
    }
    m_count = -1;
    return !dropped;
}

qint64 PZIndexSet::countLocked() const
{
    if (m_count < 0) {
        qint64 total = 0;
        for (quint64 word : m_words)
            total += std::popcount(word);
        m_count = total;
    }
    return m_count;
}

qint64 PZIndexSet::count() const
{
    std::lock_guard guard(m_lock);
    return countLocked();
}

qint64 PZIndexSet::randomIndex() const
{
    std::lock_guard guard(m_lock);
    const qint64 members = countLocked();
    if (members == 0)
        return -1;
    // The n-th member, n uniform over the members.
    quint64 n = QRandomGenerator::global()->bounded(quint64(members));
    for (size_t w = 0; w < m_words.size(); ++w) {
        quint64 word = m_words[w];
        const quint64 inWord = quint64(std::popcount(word));
        if (n >= inWord) {
            n -= inWord;
            continue;
        }
        for (;;) {
            const int top = std::countl_zero(word);
            if (n == 0)
                return qint64(w * 64 + unsigned(top));
            word &= ~(quint64(1) << (63 - top));
            --n;
        }
    }
    return -1;
}

qint64 PZIndexSet::countWithinRange(quint64 location, quint64 length) const
{
    std::lock_guard guard(m_lock);
    if (location >= m_capacity)
        return 0;
    const quint64 to = length > m_capacity - location ? m_capacity : location + length;
    return countBetween(m_words, location, to);
}

float PZIndexSet::fractionWithinRange(quint64 location, quint64 length) const
{
    if (length == 0)
        return 0;
    return float(double(countWithinRange(location, length)) / double(length));
}

std::vector<quint64> PZIndexSet::indexArray() const
{
    std::lock_guard guard(m_lock);
    std::vector<quint64> indexes;
    indexes.reserve(size_t(countLocked()));
    for (size_t w = 0; w < m_words.size(); ++w) {
        for (quint64 word = m_words[w]; word; ) {
            const int top = std::countl_zero(word);
            indexes.push_back(w * 64 + unsigned(top));
            word &= ~(quint64(1) << (63 - top));
        }
    }
    return indexes;
}

QString PZIndexSet::description() const
{
    const std::vector<quint64> indexes = indexArray();
    QStringList ranges;
    for (size_t k = 0; k < indexes.size();) {
        size_t last = k;
        while (last + 1 < indexes.size() && indexes[last + 1] == indexes[last] + 1)
            ++last;
        ranges << (last == k ? QString::number(indexes[k])
                             : QStringLiteral("%1-%2").arg(indexes[k]).arg(indexes[last]));
        k = last + 1;
    }
    return QLatin1Char('(') + ranges.join(QLatin1Char(' ')) + QLatin1Char(')');
}

void PZIndexSet::growLocked(quint64 capacity)
{
    if (capacity > m_capacity) {
        m_capacity = capacity;
        m_words.resize(wordsFor(capacity), 0);
    }
}

void PZIndexSet::addIndexSet(const PZIndexSet& other)
{
    if (this == &other)
        return;
    std::scoped_lock guard(m_lock, other.m_lock);
    growLocked(other.m_capacity);
    for (size_t w = 0; w < other.m_words.size(); ++w)
        m_words[w] |= other.m_words[w];
    m_count = -1;
}

void PZIndexSet::intersectWithIndexSet(const PZIndexSet& other)
{
    if (this == &other)
        return;
    std::scoped_lock guard(m_lock, other.m_lock);
    for (size_t w = 0; w < m_words.size(); ++w)
        m_words[w] &= other.wordAt(w);
    m_count = -1;
}

PZIndexSet PZIndexSet::setByAddingSet(const PZIndexSet& other) const
{
    PZIndexSet result(*this);
    result.addIndexSet(other);
    return result;
}

PZIndexSet PZIndexSet::setByIntersectingWithSet(const PZIndexSet& other) const
{
    PZIndexSet result(*this);
    result.intersectWithIndexSet(other);
    return result;
}

PZIndexSet PZIndexSet::setBySubtractingSet(const PZIndexSet& other) const
{
    PZIndexSet result(*this);
    if (this == &other) {
        result.removeAllIndexes();
        return result;
    }
    std::lock_guard guard(other.m_lock);
    for (size_t w = 0; w < result.m_words.size(); ++w)
        result.m_words[w] &= ~other.wordAt(w);
    result.m_count = -1;
    return result;
}

bool PZIndexSet::intersectsSet(const PZIndexSet& other) const
{
    if (this == &other)
        return count() > 0;
    std::scoped_lock guard(m_lock, other.m_lock);
    const size_t words = std::min(m_words.size(), other.m_words.size());
    for (size_t w = 0; w < words; ++w) {
        if (m_words[w] & other.m_words[w])
            return true;
    }
    return false;
}

bool PZIndexSet::containsSet(const PZIndexSet& other) const
{
    if (this == &other)
        return true;
    std::scoped_lock guard(m_lock, other.m_lock);
    for (size_t w = 0; w < other.m_words.size(); ++w) {
        if (other.m_words[w] & ~wordAt(w))
            return false;
    }
    return true;
}

bool PZIndexSet::operator==(const PZIndexSet& other) const
{
    if (this == &other)
        return true;
    std::scoped_lock guard(m_lock, other.m_lock);
    return m_capacity == other.m_capacity && m_words == other.m_words;
}

}  // namespace ombrelay
