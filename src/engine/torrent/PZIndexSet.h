#pragma once

#include <QByteArray>
#include <QString>
#include <mutex>
#include <vector>

namespace ombrelay {

// A set of piece or block numbers below a fixed capacity, kept as a bitfield in the wire's bit order
// (index n is bit 0x80 >> (n % 8) of byte n / 8), so it can be sent to peers and stored as it stands.
// Every operation holds the set's lock; operations on two sets lock both at once.
class PZIndexSet
{
public:
    explicit PZIndexSet(quint64 capacity = 0);             // empty; holds indexes 0 .. capacity - 1
    static PZIndexSet filledSetWithLength(quint64 length);  // holds 0 .. length - 1, capacity length

    PZIndexSet(const PZIndexSet& other);
    PZIndexSet(PZIndexSet&& other) noexcept;
    PZIndexSet& operator=(const PZIndexSet& other);
    PZIndexSet& operator=(PZIndexSet&& other) noexcept;

    quint64 capacity() const;

    bool addIndex(quint64 index);  // false, and nothing changes, at or beyond the capacity
    void removeIndex(quint64 index);
    bool containsIndex(quint64 index) const;
    void removeAllIndexes();

    // Exactly ceil(capacity / 8) bytes, spare bits clear.
    QByteArray bitfield() const;
    // Takes over a bitfield (a peer's, or one read from disk): false, and nothing changes, unless it is
    // exactly ceil(capacity / 8) bytes with its spare bits clear.
    bool setBitfield(const QByteArray& bitfield);
    // Takes over a stored bitfield, which may be shorter than ceil(capacity / 8) bytes (the missing bytes
    // count as zero) or longer. Members at or beyond the capacity are dropped: false when there were any.
    bool loadStoredBitfield(const QByteArray& bitfield);

    qint64 count() const;
    qint64 randomIndex() const;  // a member chosen uniformly, -1 when empty
    qint64 countWithinRange(quint64 location, quint64 length) const;
    float fractionWithinRange(quint64 location, quint64 length) const;  // 0 for an empty range
    std::vector<quint64> indexArray() const;                             // ascending
    QString description() const;                                         // "(0-2 5 9-10)"

    // The other set's members at or beyond this capacity widen it (union only).
    void addIndexSet(const PZIndexSet& other);
    void intersectWithIndexSet(const PZIndexSet& other);
    PZIndexSet setByAddingSet(const PZIndexSet& other) const;        // capacity: the larger
    PZIndexSet setByIntersectingWithSet(const PZIndexSet& other) const;  // capacity: this one's
    PZIndexSet setBySubtractingSet(const PZIndexSet& other) const;   // capacity: this one's
    bool intersectsSet(const PZIndexSet& other) const;
    bool containsSet(const PZIndexSet& other) const;  // every member of other is here

    bool operator==(const PZIndexSet& other) const;  // same capacity and members

private:
    // Unlocked helpers; callers hold the lock.
    qint64 countLocked() const;
    void growLocked(quint64 capacity);
    quint64 wordAt(size_t word) const { return word < m_words.size() ? m_words[word] : 0; }

    mutable std::mutex m_lock;
    quint64 m_capacity = 0;
    // Bit n lives in word n / 64 at bit 63 - n % 64, so a word's bytes in big-endian order are the bitfield.
    std::vector<quint64> m_words;
    mutable qint64 m_count = 0;  // -1: not known
};

}  // namespace ombrelay
