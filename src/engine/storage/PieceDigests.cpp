#include "engine/storage/PieceDigests.h"

#include <atomic>

namespace ombrelay {

namespace {

std::atomic<qint64> waitingInAll{0};

}  // namespace

qint64 PieceDigests::waitingBytesInAll()
{
    return waitingInAll.load();
}

void PieceDigests::countWaiting(qint64 bytes)
{
    m_waitingBytes += bytes;
    waitingInAll += bytes;
}

void PieceDigests::add(quint32 piece, quint32 offset, const QByteArray& data)
{
    Digest& digest = m_digests[piece];
    if (digest.givenUp)
        return;
    if (offset == digest.hashed) {
        digest.hasher.update(data);
        digest.hashed += quint32(data.size());
        for (auto next = digest.waiting.begin(); next != digest.waiting.end() && next->first == digest.hashed;
             next = digest.waiting.erase(next)) {
            digest.hasher.update(next->second);
            digest.hashed += quint32(next->second.size());
            countWaiting(-next->second.size());
        }
        return;
    }
    if (offset > digest.hashed && m_waitingBytes + data.size() <= m_maxWaitingBytes
        && waitingInAll.load() + data.size() <= kMaxWaitingBytesInAll && digest.waiting.emplace(offset, data).second) {
        countWaiting(data.size());
        return;
    }
    dropWaiting(digest);
    digest.givenUp = true;
}

std::optional<QByteArray> PieceDigests::take(quint32 piece, quint32 length)
{
    const auto found = m_digests.find(piece);
    if (found == m_digests.end())
        return std::nullopt;
    Digest& digest = found->second;
    std::optional<QByteArray> result;
    if (!digest.givenUp && digest.hashed == length && digest.waiting.empty())
        result = digest.hasher.finish();
    dropWaiting(digest);
    m_digests.erase(found);
    return result;
}

void PieceDigests::forget(quint32 piece)
{
    const auto found = m_digests.find(piece);
    if (found == m_digests.end())
        return;
    dropWaiting(found->second);
    m_digests.erase(found);
}

void PieceDigests::giveUp(quint32 piece)
{
    Digest& digest = m_digests[piece];
    dropWaiting(digest);
    digest.givenUp = true;
}

void PieceDigests::giveUpUnwanted(const std::function<bool(quint32 piece)>& isWanted)
{
    for (auto& [piece, digest] : m_digests) {
        if (!isWanted(piece)) {
            dropWaiting(digest);
            digest.givenUp = true;
        }
    }
}

void PieceDigests::clear()
{
    countWaiting(-m_waitingBytes);
    m_digests.clear();
}

void PieceDigests::dropWaiting(Digest& digest)
{
    for (const auto& [offset, data] : digest.waiting)
        countWaiting(-data.size());
    digest.waiting.clear();
}

}  // namespace ombrelay
