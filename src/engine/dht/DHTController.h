#pragma once

#include "engine/dht/DHTPeerLookup.h"
#include "engine/dht/DHTRoutingTable.h"
#include "engine/dht/DHTSocket.h"
#include "engine/dht/DHTTransactions.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace ombrelay {

// The DHT client: our node id, the routing table, the pending queries, the dispatch of received
// datagrams and the peer searches of torrents. It only looks peers up; it never announces, and of the
// queries it receives it answers ping only. Main thread only.
//
// Peers found for a torrent are reported by peersFound(infoHash, compactPeers), 6 bytes per peer
// (address, port, network order), as often as replies bring them.
class DHTController : public QObject, private DHTQuerySender
{
    Q_OBJECT
public:
    static constexpr int kSweepIntervalMs = 10'000;
    static constexpr int kRefreshIntervalMs = 900'000;
    static constexpr int kDiscoveryDelayMs = 5'000;
    static constexpr int kLookupTickMs = 1'000;
    static constexpr int kRepeatMinMs = 15 * 60'000;
    static constexpr int kRepeatMaxMs = 30 * 60'000;
    static constexpr qsizetype kMaxPendingTransactions = 4096;

    struct Options
    {
        QString storagePath;                 // empty: no stored nodes
        std::optional<DHTIdentifier> ownID;  // none: nodeID()
    };

    // Loads the stored nodes at once and starts the table's timers. At quit the table is stored. Without a
    // socket nothing is sent or received until one is given.
    DHTController(std::unique_ptr<DHTSocket> socket, const Options& options, QObject* parent = nullptr);
    // The engine's set-up: our id from the settings and "DHT.storage".
    explicit DHTController(std::unique_ptr<DHTSocket> socket, QObject* parent = nullptr);
    ~DHTController() override;

    // Our node id: the 20 bytes under "kNodeID", made from 20 random bytes and stored when absent.
    static QByteArray nodeID();

    const DHTIdentifier& ownID() const { return m_ownID; }
    DHTRoutingTable& routingTable() { return m_table; }
    DHTSocket* socket() const { return m_socket.get(); }
    void setSocket(std::unique_ptr<DHTSocket> socket);
    // The engine's UDP descriptor after a rebind (-1: none); the previous one is let go first, since the
    // new descriptor may reuse its number.
    void useSocketDescriptor(int descriptor);

    // Starts a lookup for the torrent (adding the nodes to a running one), then repeats it every 15 to
    // 30 minutes for as long as the search-continues test answers yes for the hash.
    void findPeers(const QByteArray& infoHash, const QList<DhtNodeAddress>& nodes = {});
    void stopFindingPeers(const QByteArray& infoHash);
    void setSearchContinues(std::function<bool(const QByteArray& infoHash)> test);
    // How long after a lookup ends it starts again: a random time from minMs to maxMs.
    void setRepeatInterval(int minMs, int maxMs);
    bool isLookingUp(const QByteArray& infoHash) const { return m_lookups.contains(infoHash); }

    // A node named by a peer's port message or a torrent's metainfo: kept if it answers.
    void pingNode(const DhtNodeAddress& endpoint);

    bool storeToDisk();

signals:
    void peersFound(const QByteArray& infoHash, const QByteArray& compactPeers);
    void lookupFinished(const QByteArray& infoHash, int queriesSent);

private:
    void sendPing(const DhtNodeAddress& endpoint) override;
    void sendFindNode(const DhtNodeAddress& endpoint, const DHTIdentifier& target) override;
    void sendGetPeers(const DhtNodeAddress& endpoint, const QByteArray& infoHash, quint64 lookupSerial);
    void sendQuery(const DHTTransaction& transaction, const std::function<QByteArray(const QByteArray&)>& build);

    void didReceiveData(const QByteArray& datagram, const DhtNodeAddress& sender);
    void handleQuery(const DHTMessage& message, const DhtNodeAddress& sender);
    void handleReply(const DHTMessage& message, const DhtNodeAddress& sender);

    void startLookup(const QByteArray& infoHash);
    void pumpLookup(const QByteArray& infoHash);
    void pumpLookups();
    void scheduleRepeat(const QByteArray& infoHash);
    void cancelRepeat(const QByteArray& infoHash);

    std::unique_ptr<DHTSocket> m_socket;
    QString m_storagePath;
    DHTIdentifier m_ownID;
    DHTRoutingTable m_table;
    DHTTransactions m_transactions;
    QTimer m_sweepTimer;
    QTimer m_refreshTimer;
    QTimer m_lookupTimer;
    QElapsedTimer m_clock;
    quint64 m_lookupSerial = 0;
    int m_repeatMinMs = kRepeatMinMs;
    int m_repeatMaxMs = kRepeatMaxMs;
    QHash<QByteArray, std::shared_ptr<DHTPeerLookup>> m_lookups;
    QHash<QByteArray, QList<DhtNodeAddress>> m_searches;  // torrents searched for, with their own nodes
    QHash<QByteArray, QTimer*> m_repeats;
    std::function<bool(const QByteArray&)> m_searchContinues;
};

}  // namespace ombrelay
