#pragma once

#include "engine/peers/PeerRows.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace ombrelay {

class SerialQueue;

// A torrent's known peers, "peers.db" in its session folder (see PeersFile). The rows are held in
// memory and every answer comes from there; the file is opened, read and written on the peers database
// queue, in the order of the changes, so the main thread never waits for the disk. The stored rows
// join the ones in memory once the queue has read them, under the changes made meanwhile. A file found
// damaged is replaced by an empty one and the known peers are dropped. Main thread only.
class PeersDatabase
{
public:
    static constexpr int kMaxRows = PeerRows::kMaxRows;
    static constexpr int kBatchSize = PeerRows::kBatchSize;
    using Activity = PeerRows::Activity;
    using Row = PeerRows::Row;

    // Starts reading the file; an empty path keeps the rows in memory only.
    explicit PeersDatabase(QString path);
    // The changes made are still written, after which the file is closed on the queue.
    ~PeersDatabase();
    PeersDatabase(const PeersDatabase&) = delete;
    PeersDatabase& operator=(const PeersDatabase&) = delete;

    const QString& path() const { return m_path; }
    // Whether the stored rows have joined those in memory.
    bool hasStoredRows();
    // Why the file could not be opened, once the queue found it out; the rows live in memory only then.
    QString openError();

    int numberOfPeers();
    int numberOfUnusedPeers();  // rows not active
    bool hasDialablePeers();    // rows inactive and not resting

    // False when the peer is unusable, already known or the table is full.
    bool insertPeer(const PeerAddress& peer, Activity activity);
    // Inserts inactive, in one transaction, until the table is full. Answers how many were new.
    int insertPeers(const QList<PeerAddress>& peers);
    void deletePeer(const PeerAddress& peer);
    void setActivity(const PeerAddress& peer, Activity activity);
    void addDownloadedBytes(const PeerAddress& peer, quint64 bytes);
    void markAllInactive();
    // Up to kBatchSize inactive rows, most bytes received first.
    QList<Row> peersToDial();

    // The one thread that does every torrent's peers file work.
    static SerialQueue& fileQueue();

private:
    struct FileLink;
    // Takes what the queue reported: the stored rows once read, a damaged file, a failed open.
    void takeFileNews();
    // Makes a change to the rows in memory and queues it for the file: `apply` takes either table.
    template <typename Change>
    auto change(Change apply);

    QString m_path;
    PeerRows m_rows;
    bool m_hasStoredRows = false;
    QString m_openError;
    // The changes made before the stored rows were read, to apply again on top of them.
    QList<std::function<void(PeerRows&)>> m_changesBeforeRead;
    std::shared_ptr<FileLink> m_file;
};

}  // namespace ombrelay
