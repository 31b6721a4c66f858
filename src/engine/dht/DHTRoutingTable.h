#pragma once

#include "engine/dht/DHTBucket.h"
#include "engine/dht/DHTQuerySender.h"

#include <QHash>
#include <QList>
#include <QString>

namespace ombrelay {

// The nodes we know, in buckets over the identifier space (K = 8 good nodes per bucket; only the bucket
// holding our own id splits), and a bounded cache of every node heard of. Stored in "DHT.storage" as
// 38-byte records. Main thread only.
class DHTRoutingTable
{
public:
    static constexpr int kClosestNodes = 50;
    static constexpr int kMaxGoodWhileDiscovering = 99;
    static constexpr int kMaxKnownWhileDiscovering = 250;
    static constexpr int kNodeCacheLimit = 5000;
    static constexpr int kRecordSize = 38;
    static constexpr qint64 kReferenceDate = 978307200;  // 2001-01-01 00:00:00 UTC in Unix time

    DHTRoutingTable(const DHTIdentifier& ownID, DHTQuerySender& sender);

    const DHTIdentifier& ownID() const { return m_ownID; }
    const QList<DHTBucket>& buckets() const { return m_buckets; }

    int bucketIndexForIdentifier(const DHTIdentifier& id) const;
    const DHTBucket& bucketForIdentifier(const DHTIdentifier& id) const;
    const DHTBucket& identityBucket() const { return bucketForIdentifier(m_ownID); }
    // Bucket indexes: the one holding the id, then its neighbours below and above at growing distance.
    QList<int> bucketsNearestTo(const DHTIdentifier& id) const;
    // Whole buckets of good, then questionable nodes nearest the id until more than 50 are found; every
    // known node when fewer than 50 are. Unordered.
    QList<DHTNodePtr> nodesClosestTo(const DHTIdentifier& id) const;

    bool splitBucket(int index);
    // A good node that answered or queried us.
    void addNode(const DHTNodePtr& node);
    void addNodeFromStorage(const DHTNodePtr& node);

    QList<DHTNodePtr> goodNodes() const { return nodesByGoodness(true); }
    QList<DHTNodePtr> questionableNodes() const { return nodesByGoodness(false); }
    void refreshQuestionableNodes();

    // The node cache: bounded, the least recently seen nodes outside buckets leave first.
    DHTNodePtr nodeWithID(const DHTIdentifier& id) const { return m_allNodes.value(id); }
    DHTNodePtr cacheNode(const DHTIdentifier& id, const DhtNodeAddress& endpoint);
    qsizetype knownNodeCount() const { return m_allNodes.size(); }

    bool moreNodesAreDesired() const;
    void discoverMoreNodes();  // 5 s after loading

    static QString storagePath();  // "DHT.storage" in the application-support folder
    static void appendNodeData(const DHTNode& node, QByteArray& data);
    bool storeToDisk(const QString& path) const;
    // Loads the stored nodes (a file whose length is not a non-zero multiple of 38 is ignored) and pings
    // those that are not good.
    void readFromDisk(const QString& path);

private:
    QList<DHTNodePtr> nodesByGoodness(bool good) const;
    void insertIntoBucket(DHTBucket& bucket, const DHTNodePtr& node);
    void evictLeastRecentlySeen();

    DHTIdentifier m_ownID;
    DHTQuerySender& m_sender;
    QList<DHTBucket> m_buckets;
    QHash<DHTIdentifier, DHTNodePtr> m_allNodes;
    bool m_fiveSecondsElapsed = false;
};

}  // namespace ombrelay
