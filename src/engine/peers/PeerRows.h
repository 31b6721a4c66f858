#pragma once

#include "engine/peers/PeerAddress.h"

#include <QHash>
#include <QList>

namespace ombrelay {

// The rows of a torrent's peers table held in memory, with the answers the stored table gives: rows
// keyed by address and port, at most kMaxRows of them, the best inactive ones first for dialling.
class PeerRows
{
public:
    static constexpr int kMaxRows = 2000;
    static constexpr int kBatchSize = 50;

    // isActive: 1 while a connection is open or being opened; 2 for a peer that dropped a working
    // connection and rests until its redial time (only dialling tells 2 from 0); else 0.
    enum class Activity { Inactive = 0, Active = 1, Resting = 2 };

    struct Row
    {
        PeerAddress peer;
        qint64 downloaded = 0;
        bool operator==(const Row&) const = default;
    };

    int count() const { return int(m_rows.size()); }
    int unusedCount() const { return count() - m_activeCount; }  // rows not active
    bool hasDialable() const { return m_inactiveCount > 0; }     // rows inactive and not resting

    // The changes, as PeersFile takes them. False when the peer is unusable, already there or the table
    // is full.
    bool insertPeer(const PeerAddress& peer, Activity activity);
    // Inserts inactive until the table is full. Answers how many were new.
    int insertPeers(const QList<PeerAddress>& peers);
    void deletePeer(const PeerAddress& peer);
    void setActivity(const PeerAddress& peer, Activity activity);
    void addDownloadedBytes(const PeerAddress& peer, quint64 bytes);
    void markAllInactive();

    // Rows read back from the file: inactive, with their bytes.
    void insertStored(const QList<Row>& rows);
    void clear();
    // Up to kBatchSize inactive rows, most bytes received first, the older row first among equals.
    QList<Row> toDial() const;

private:
    struct Entry
    {
        qint64 downloaded = 0;
        Activity activity = Activity::Inactive;
        quint64 sequence = 0;
    };
    bool add(const PeerAddress& peer, Activity activity, qint64 downloaded);
    void count(Activity activity, int delta);

    QHash<PeerAddress, Entry> m_rows;
    int m_activeCount = 0;
    int m_inactiveCount = 0;
    quint64 m_nextSequence = 0;
};

}  // namespace ombrelay
