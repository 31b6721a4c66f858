#include "engine/peers/PeerRows.h"

#include <algorithm>
#include <vector>

namespace ombrelay {

void PeerRows::count(Activity activity, int delta)
{
    if (activity == Activity::Active)
        m_activeCount += delta;
    else if (activity == Activity::Inactive)
        m_inactiveCount += delta;
}

bool PeerRows::add(const PeerAddress& peer, Activity activity, qint64 downloaded)
{
    if (count() >= kMaxRows || m_rows.contains(peer))
        return false;
    m_rows.insert(peer, {downloaded, activity, m_nextSequence++});
    count(activity, 1);
    return true;
}

bool PeerRows::insertPeer(const PeerAddress& peer, Activity activity)
{
    return peer.isUsable() && add(peer, activity, 0);
}

int PeerRows::insertPeers(const QList<PeerAddress>& peers)
{
    int added = 0;
    for (const PeerAddress& peer : peers) {
        if (count() >= kMaxRows)
            break;
        added += insertPeer(peer, Activity::Inactive) ? 1 : 0;
    }
    return added;
}

void PeerRows::insertStored(const QList<Row>& rows)
{
    // Unusable ones too: the file holds them until dialling finds them out and deletes them.
    for (const Row& row : rows)
        add(row.peer, Activity::Inactive, std::max<qint64>(row.downloaded, 0));
}

void PeerRows::deletePeer(const PeerAddress& peer)
{
    const auto it = m_rows.constFind(peer);
    if (it == m_rows.constEnd())
        return;
    count(it->activity, -1);
    m_rows.erase(it);
}

void PeerRows::setActivity(const PeerAddress& peer, Activity activity)
{
    const auto it = m_rows.find(peer);
    if (it == m_rows.end())
        return;
    count(it->activity, -1);
    it->activity = activity;
    count(activity, 1);
}

void PeerRows::addDownloadedBytes(const PeerAddress& peer, quint64 bytes)
{
    const auto it = m_rows.find(peer);
    if (it == m_rows.end())
        return;
    const quint64 room = quint64(INT64_MAX - it->downloaded);
    it->downloaded += qint64(std::min(bytes, room));
}

void PeerRows::markAllInactive()
{
    for (Entry& entry : m_rows)
        entry.activity = Activity::Inactive;
    m_activeCount = 0;
    m_inactiveCount = count();
}

void PeerRows::clear()
{
    m_rows.clear();
    m_activeCount = 0;
    m_inactiveCount = 0;
}

QList<PeerRows::Row> PeerRows::toDial() const
{
    struct Candidate
    {
        const PeerAddress* peer;
        const Entry* entry;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(size_t(m_inactiveCount));
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
        if (it->activity == Activity::Inactive)
            candidates.push_back({&it.key(), &it.value()});
    const auto better = [](const Candidate& a, const Candidate& b) {
        return a.entry->downloaded != b.entry->downloaded ? a.entry->downloaded > b.entry->downloaded
                                                          : a.entry->sequence < b.entry->sequence;
    };
    const size_t taken = std::min(candidates.size(), size_t(kBatchSize));
    std::partial_sort(candidates.begin(), candidates.begin() + qsizetype(taken), candidates.end(), better);
    QList<Row> rows;
    rows.reserve(qsizetype(taken));
    for (size_t i = 0; i < taken; ++i)
        rows.append({*candidates[i].peer, candidates[i].entry->downloaded});
    return rows;
}

}  // namespace ombrelay
