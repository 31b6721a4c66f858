#pragma once

#include "engine/peers/PeerAddress.h"

#include <QList>
#include <QString>
#include <memory>

namespace ombrelay {

class SqliteDatabase;
class SqliteStatement;

// A torrent's known peers, "peers.db" in its session folder: table peers (address, port, downloaded,
// isActive), keyed by address and port. Opened on first use; every open marks all rows inactive. A
// damaged file is deleted and the next use starts a new one. At most kMaxRows rows. Main thread only.
class PeersDatabase
{
public:
    static constexpr int kMaxRows = 2000;
    static constexpr int kBatchSize = 50;

    // isActive: 1 while a connection is open or being opened; 2 for a peer that dropped a working
    // connection and rests until its redial time (only the dialling query tells 2 from 0); else 0.
    enum class Activity { Inactive = 0, Active = 1, Resting = 2 };

    struct Row
    {
        PeerAddress peer;
        qint64 downloaded = 0;
        bool operator==(const Row&) const = default;
    };

    explicit PeersDatabase(QString path);
    ~PeersDatabase();
    PeersDatabase(const PeersDatabase&) = delete;
    PeersDatabase& operator=(const PeersDatabase&) = delete;

    const QString& path() const { return m_path; }

    int numberOfPeers();
    int numberOfUnusedPeers();  // rows not active
    bool hasDialablePeers();    // rows inactive and not resting

    // False when the peer is unusable, already stored, the table is full, or the database failed.
    bool insertPeer(const PeerAddress& peer, Activity activity);
    // Inserts inactive, in one transaction, until the table is full. Answers how many were new.
    int insertPeers(const QList<PeerAddress>& peers);
    void deletePeer(const PeerAddress& peer);
    void setActivity(const PeerAddress& peer, Activity activity);
    void addDownloadedBytes(const PeerAddress& peer, quint64 bytes);
    void markAllInactive();
    // Up to kBatchSize inactive rows, most bytes received first, read at once so that no cursor stays
    // open while the caller writes.
    QList<Row> peersToDial();

    // Drops the statements, closes and deletes the file; the next use creates a new one.
    void handleCorruptedDatabaseFile();
    void close();

private:
    enum Statement { Select, Count, CountUnused, AnyDialable, Insert, Delete, SetActivity, AddBytes, kStatements };

    bool open();
    bool openFile();
    SqliteStatement* statement(Statement which);
    bool insert(const PeerAddress& peer, Activity activity);
    int count(Statement which);
    void checkHealth();

    QString m_path;
    std::unique_ptr<SqliteDatabase> m_database;
    std::unique_ptr<SqliteStatement> m_statements[kStatements];
    bool m_openFailed = false;
};

}  // namespace ombrelay
