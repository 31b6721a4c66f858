#pragma once

#include "engine/peers/PeerRows.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <utility>

namespace ombrelay {

class SqliteDatabase;
class SqliteStatement;

// A torrent's known peers as stored, "peers.db" in its session folder: table peers (address, port,
// downloaded, isActive), keyed by address and port. Opened on first use; every open marks all rows
// inactive. A file found damaged on opening is replaced at once; one found damaged later is deleted,
// and the first use after takeDamage() starts a new one. At most PeerRows::kMaxRows rows. Does disk
// work on every call: used from one thread at a time, the peers database queue.
class PeersFile
{
public:
    using Activity = PeerRows::Activity;
    using Row = PeerRows::Row;

    explicit PeersFile(QString path);
    ~PeersFile();
    PeersFile(const PeersFile&) = delete;
    PeersFile& operator=(const PeersFile&) = delete;

    // Opens the file and reads its rows (all inactive by then), at most PeerRows::kMaxRows, oldest first.
    QList<Row> readRows();

    // False when the peer is unusable, already stored, the table is full, or the file failed.
    bool insertPeer(const PeerAddress& peer, Activity activity);
    // Inserts inactive, in one transaction, until the table is full. Answers how many were new.
    int insertPeers(const QList<PeerAddress>& peers);
    void deletePeer(const PeerAddress& peer);
    void setActivity(const PeerAddress& peer, Activity activity);
    void addDownloadedBytes(const PeerAddress& peer, quint64 bytes);
    void markAllInactive();

    // True once after the file was found damaged and deleted.
    bool takeDamage() { return std::exchange(m_damaged, false); }
    // Why the file could not be opened (it is left as it is and not tried again); empty while it could.
    const QString& openError() const { return m_openError; }

private:
    enum Statement { ReadAll, Count, Insert, Delete, SetActivity, AddBytes, kStatements };

    bool open();
    bool openFile();
    void close();
    void handleCorruptedDatabaseFile();
    SqliteStatement* statement(Statement which);
    // A peer's statement with its address and port bound.
    SqliteStatement* statement(Statement which, const PeerAddress& peer);
    // Runs a peer's statement, with `value` as its third parameter if given.
    void changePeer(Statement which, const PeerAddress& peer, std::optional<qint64> value = std::nullopt);
    bool insert(const PeerAddress& peer, Activity activity);
    int numberOfPeers();
    void checkHealth();

    QString m_path;
    std::unique_ptr<SqliteDatabase> m_database;
    std::unique_ptr<SqliteStatement> m_statements[kStatements];
    bool m_openFailed = false;
    QString m_openError;
    bool m_damaged = false;
};

}  // namespace ombrelay
