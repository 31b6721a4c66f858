#include "engine/dht/DHTRoutingTable.h"
#include "kit/AppPaths.h"
#include "kit/AtomicFile.h"
#include "kit/ByteReader.h"
#include "kit/ByteWriter.h"
#include "kit/FileHelpers.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <limits>

namespace ombrelay {
namespace {

quint32 storedTime(qint64 unixTime)
{
    if (unixTime <= DHTRoutingTable::kReferenceDate)
        return 0;
    return quint32(std::min<qint64>(unixTime - DHTRoutingTable::kReferenceDate,
                                    std::numeric_limits<quint32>::max()));
}

qint64 unixTime(quint32 stored)
{
    return stored == 0 ? 0 : DHTRoutingTable::kReferenceDate + stored;
}

}  // namespace

QString DHTRoutingTable::storagePath()
{
    return QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("DHT.storage"));
}

void DHTRoutingTable::appendNodeData(const DHTNode& node, QByteArray& data)
{
    appendByte4(data, node.endpoint().address);  // already in network order
    appendBigEndian2(data, node.endpoint().port);
    data.append(node.nodeID().data());
    appendBigEndian4(data, storedTime(node.lastRequest()));
    appendBigEndian4(data, storedTime(node.lastResponse()));
    appendBigEndian4(data, storedTime(node.firstResponse()));
}

bool DHTRoutingTable::storeToDisk(const QString& path) const
{
    const qint64 now = DHTNode::now();
    QByteArray data;
    for (const DHTBucket& bucket : m_buckets)
        for (const DHTNodePtr& node : bucket.nodesForStorage(now))
            appendNodeData(*node, data);
    QString error;
    if (!createParentFolders(path) || !AtomicFile::write(path, data, &error)) {
        fprintf(stderr, "*** DHT: could not write %s: %s\n", qPrintable(path), qPrintable(error));
        return false;
    }
    return true;
}

void DHTRoutingTable::readFromDisk(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const qint64 size = file.size();
    if (size == 0)
        return;  // saved with no nodes known
    if (size % kRecordSize != 0) {
        fprintf(stderr, "*** DHT: ignoring %s of %lld bytes\n", qPrintable(path), size);
        return;
    }
    // More records than the node cache holds would only be dropped again.
    const QByteArray data = file.read(std::min<qint64>(size, qint64(kNodeCacheLimit) * kRecordSize));
    ByteReader reader(data);
    while (reader.remaining() >= kRecordSize) {
        DhtNodeAddress endpoint;
        endpoint.address = reader.readByte4();
        endpoint.port = reader.readBigEndian2();
        const auto id = DHTIdentifier::fromData(reader.readBytes(DHTIdentifier::kSize));
        const qint64 lastRequest = unixTime(reader.readBigEndian4());
        const qint64 lastResponse = unixTime(reader.readBigEndian4());
        const qint64 firstResponse = unixTime(reader.readBigEndian4());
        if (!reader.ok() || !id || !isUsableNodeEndpoint(endpoint))
            continue;
        const DHTNodePtr node = cacheNode(*id, endpoint);
        // A node stored twice keeps the later times and the earlier first response.
        node->setLastRequest(std::max(node->lastRequest(), lastRequest));
        node->setLastResponse(std::max(node->lastResponse(), lastResponse));
        if (firstResponse != 0 && (node->firstResponse() == 0 || firstResponse < node->firstResponse()))
            node->setFirstResponse(firstResponse);
        node->touch(std::max(lastRequest, lastResponse));
        if (node->isGood(DHTNode::now()))
            addNodeFromStorage(node);
    }
    const qint64 now = DHTNode::now();
    for (const DHTNodePtr& node : std::as_const(m_allNodes))
        if (!node->isGood(now))
            m_sender.sendPing(node->endpoint());
}

}  // namespace ombrelay
