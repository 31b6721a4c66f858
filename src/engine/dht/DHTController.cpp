#include "engine/dht/DHTController.h"
#include "kit/PZCrypto.h"
#include "kit/Settings.h"
#include "kit/TextHelpers.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>

namespace ombrelay {
namespace {

const QString kNodeIDKey = QStringLiteral("kNodeID");

DHTIdentifier identifierOrNodeID(const std::optional<DHTIdentifier>& id)
{
    return id ? *id : *DHTIdentifier::fromData(DHTController::nodeID());
}

}  // namespace

DHTController::DHTController(std::unique_ptr<DHTSocket> socket, QObject* parent)
    : DHTController(std::move(socket), Options{DHTRoutingTable::storagePath(), std::nullopt}, parent)
{
}

DHTController::DHTController(std::unique_ptr<DHTSocket> socket, const Options& options, QObject* parent)
    : QObject(parent),
      m_storagePath(options.storagePath),
      m_ownID(identifierOrNodeID(options.ownID)),
      m_table(m_ownID, *this),
      m_searchContinues([](const QByteArray&) { return true; })
{
    m_clock.start();
    setSocket(std::move(socket));

    m_sweepTimer.setInterval(kSweepIntervalMs);
    connect(&m_sweepTimer, &QTimer::timeout, this, [this] { m_transactions.sweep(); });
    m_sweepTimer.start();
    m_refreshTimer.setInterval(kRefreshIntervalMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] { m_table.refreshQuestionableNodes(); });
    m_refreshTimer.start();
    m_lookupTimer.setInterval(kLookupTickMs);
    connect(&m_lookupTimer, &QTimer::timeout, this, &DHTController::pumpLookups);

    if (!m_storagePath.isEmpty()) {
        m_table.readFromDisk(m_storagePath);
        if (QCoreApplication::instance())
            connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &DHTController::storeToDisk);
    }
    QTimer::singleShot(kDiscoveryDelayMs, this, [this] { m_table.discoverMoreNodes(); });
}

DHTController::~DHTController() = default;

void DHTController::setSocket(std::unique_ptr<DHTSocket> socket)
{
    m_socket = std::move(socket);
    if (m_socket)
        connect(m_socket.get(), &DHTSocket::datagramReceived, this, &DHTController::didReceiveData);
}

void DHTController::useSocketDescriptor(int descriptor)
{
    m_socket.reset();
    if (descriptor >= 0)
        setSocket(std::make_unique<DHTSocket>(descriptor));
}

QByteArray DHTController::nodeID()
{
    Settings& settings = Settings::instance();
    QByteArray id = settings.bytes(kNodeIDKey);
    if (id.size() == DHTIdentifier::kSize)
        return id;
    QByteArray seed(DHTIdentifier::kSize, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(seed.data()), DHTIdentifier::kSize / 4);
    id = PZCrypto::sha1(seed);
    settings.setValue(kNodeIDKey, id);
    settings.sync();
    return id;
}

bool DHTController::storeToDisk()
{
    return !m_storagePath.isEmpty() && m_table.storeToDisk(m_storagePath);
}

// Sending

void DHTController::sendQuery(const DHTTransaction& transaction,
                              const std::function<QByteArray(const QByteArray&)>& build)
{
    if (!m_socket || m_transactions.count() >= kMaxPendingTransactions
        || !isUsableNodeEndpoint(transaction.destination))
        return;
    const QByteArray transactionID = m_transactions.add(transaction);
    m_socket->send(build(transactionID), transaction.destination);
}

void DHTController::sendPing(const DhtNodeAddress& endpoint)
{
    sendQuery({DHTTransaction::Kind::Ping, endpoint, {}, 0},
              [this](const QByteArray& t) { return DHTMessage::pingQuery(m_ownID, t); });
}

void DHTController::sendFindNode(const DhtNodeAddress& endpoint, const DHTIdentifier& target)
{
    sendQuery({DHTTransaction::Kind::FindNode, endpoint, {}, 0},
              [this, &target](const QByteArray& t) { return DHTMessage::findNodeQuery(m_ownID, t, target); });
}

void DHTController::sendGetPeers(const DhtNodeAddress& endpoint, const QByteArray& infoHash, quint64 lookupSerial)
{
    sendQuery({DHTTransaction::Kind::GetPeers, endpoint, infoHash, lookupSerial},
              [this, &infoHash](const QByteArray& t) { return DHTMessage::getPeersQuery(m_ownID, t, infoHash); });
}

void DHTController::pingNode(const DhtNodeAddress& endpoint)
{
    sendPing(endpoint);
}

// Receiving

void DHTController::didReceiveData(const QByteArray& datagram, const DhtNodeAddress& sender)
{
    const std::optional<DHTMessage> message = DHTMessage::parse(datagram);
    if (!message || message->senderID == m_ownID)
        return;
    if (message->type == DHTMessage::Type::Query)
        handleQuery(*message, sender);
    else
        handleReply(*message, sender);
}

void DHTController::handleQuery(const DHTMessage& message, const DhtNodeAddress& sender)
{
    if (message.queryName == "ping" && m_socket)
        m_socket->send(DHTMessage::pingReply(m_ownID, message.transactionID), sender);
    // Only a node we already know, at the address we know it by, is credited with the query; an unknown
    // sender has never answered us, so it could not enter the table anyway.
    const DHTNodePtr node = m_table.nodeWithID(message.senderID);
    if (!node || !(node->endpoint() == sender))
        return;
    node->noteQueryReceived(DHTNode::now());
    m_table.addNode(node);
}

void DHTController::handleReply(const DHTMessage& message, const DhtNodeAddress& sender)
{
    const std::optional<DHTTransaction> transaction = m_transactions.take(message.transactionID, sender);
    if (!transaction)
        return;
    DHTNodePtr node = m_table.cacheNode(message.senderID, sender);
    if (node->endpoint() == sender) {
        node->noteReplyReceived(DHTNode::now());
        m_table.addNode(node);
    } else {
        node.reset();  // the id is known at another address: trust neither
    }

    switch (transaction->kind) {
    case DHTTransaction::Kind::Ping:
        if (node && m_table.moreNodesAreDesired())
            sendFindNode(sender, m_ownID);
        break;
    case DHTTransaction::Kind::FindNode:
        for (const DHTNodeInfo& info : message.nodes) {
            if (info.id == m_ownID || m_table.nodeWithID(info.id))
                continue;
            m_table.cacheNode(info.id, info.endpoint);
            sendPing(info.endpoint);
        }
        break;
    case DHTTransaction::Kind::GetPeers: {
        if (!message.compactPeers.isEmpty())
            emit peersFound(transaction->infoHash, message.compactPeers);
        const auto lookup = m_lookups.value(transaction->infoHash);
        if (lookup && lookup->serial() == transaction->lookupSerial) {
            lookup->handleReply(sender, message.senderID, message.nodes);
            pumpLookup(transaction->infoHash);
        }
        break;
    }
    }
}

// Peer searches

void DHTController::setSearchContinues(std::function<bool(const QByteArray&)> test)
{
    m_searchContinues = std::move(test);
}

void DHTController::setRepeatInterval(int minMs, int maxMs)
{
    m_repeatMinMs = minMs;
    m_repeatMaxMs = std::max(minMs, maxMs);
}

void DHTController::findPeers(const QByteArray& infoHash, const QList<DhtNodeAddress>& nodes)
{
    if (!DHTIdentifier::fromData(infoHash))
        return;
    m_searches.insert(infoHash, nodes);
    cancelRepeat(infoHash);
    if (const auto lookup = m_lookups.value(infoHash)) {
        for (const DhtNodeAddress& endpoint : nodes)
            lookup->addCandidate(endpoint);
        pumpLookup(infoHash);
        return;
    }
    startLookup(infoHash);
}

void DHTController::stopFindingPeers(const QByteArray& infoHash)
{
    m_searches.remove(infoHash);
    m_lookups.remove(infoHash);
    cancelRepeat(infoHash);
}

void DHTController::startLookup(const QByteArray& infoHash)
{
    const DHTIdentifier target = *DHTIdentifier::fromData(infoHash);
    auto lookup = std::make_shared<DHTPeerLookup>(target, ++m_lookupSerial, m_clock.elapsed());
    for (const DHTNodePtr& node : m_table.nodesClosestTo(target))
        lookup->addCandidate(node->endpoint(), node->nodeID());
    for (const DhtNodeAddress& endpoint : m_searches.value(infoHash))
        lookup->addCandidate(endpoint);
    m_lookups.insert(infoHash, lookup);
    fprintf(stderr, "DHT: lookup for %s started\n", qPrintable(hexString(infoHash)));
    if (!m_lookupTimer.isActive())
        m_lookupTimer.start();
    pumpLookup(infoHash);
}

void DHTController::pumpLookup(const QByteArray& infoHash)
{
    const auto lookup = m_lookups.value(infoHash);
    if (!lookup)
        return;
    const qint64 nowMs = m_clock.elapsed();
    for (const DhtNodeAddress& endpoint : lookup->nextQueries(nowMs))
        sendGetPeers(endpoint, infoHash, lookup->serial());
    if (!lookup->isFinished(nowMs))
        return;
    m_lookups.remove(infoHash);
    if (m_lookups.isEmpty())
        m_lookupTimer.stop();
    fprintf(stderr, "DHT: lookup for %s ended after %d queries\n", qPrintable(hexString(infoHash)),
            lookup->queriesSent());
    scheduleRepeat(infoHash);
    emit lookupFinished(infoHash, lookup->queriesSent());
}

void DHTController::cancelRepeat(const QByteArray& infoHash)
{
    if (QTimer* timer = m_repeats.take(infoHash))
        timer->deleteLater();
}

void DHTController::pumpLookups()
{
    for (const QByteArray& infoHash : m_lookups.keys())
        pumpLookup(infoHash);
}

void DHTController::scheduleRepeat(const QByteArray& infoHash)
{
    if (!m_searches.contains(infoHash))
        return;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(QRandomGenerator::global()->bounded(m_repeatMinMs, m_repeatMaxMs + 1));
    connect(timer, &QTimer::timeout, this, [this, infoHash] {
        cancelRepeat(infoHash);
        if (m_searchContinues(infoHash))
            startLookup(infoHash);
        else
            m_searches.remove(infoHash);
    });
    cancelRepeat(infoHash);
    m_repeats.insert(infoHash, timer);
    timer->start();
}

}  // namespace ombrelay
