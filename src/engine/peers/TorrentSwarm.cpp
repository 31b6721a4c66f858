#include "engine/peers/TorrentSwarm.h"

#include "engine/storage/PieceStore.h"
#include "engine/storage/WriteBacklog.h"
#include "engine/wire/PeerWire.h"
#include "kit/SteadyClock.h"

#include <QtEndian>
#include <algorithm>
#include <cerrno>

namespace ombrelay {

TorrentSwarm::TorrentSwarm(Torrent torrent, PieceStore& store, const QString& databasePath, QObject* parent)
    : QObject(parent), m_torrent(std::move(torrent)), m_store(store)
{
    if (!m_torrent.clock)
        m_torrent.clock = steadyMilliseconds;
    if (!m_torrent.storeBlock)
        m_torrent.storeBlock = [&store](const QString&, quint32 piece, quint32 offset, const QByteArray& data) {
            return store.storeBlock(piece, offset, data);
        };
    if (m_torrent.peerId.isEmpty())
        m_torrent.peerId = PeerWire::localPeerId();
    TorrentPeers::Environment environment;
    environment.dial = [this](const PeerAddress& peer, PeerLink::Handshake handshake) {
        return dial(peer, handshake);
    };
    environment.mayConnect = m_torrent.mayConnect;
    environment.clock = m_torrent.clock;
    environment.ownAddresses = m_torrent.ownAddresses;
    environment.maxPeers = m_torrent.maxPeers;
    m_peers = std::make_unique<TorrentPeers>(databasePath, std::move(environment));
    m_uploadLimitWasZero = uploadLimitIsZero();
    connect(&m_store, &PieceStore::pieceVerified, this, &TorrentSwarm::onPieceVerified);
    // Pieces that failed their check, blocks that never reached the disk and data that vanished are asked
    // for again, at once: the connections may have nothing else to ask for, and nothing else to wake them.
    connect(&m_store, &PieceStore::pieceFailed, this, [this](quint32 piece) {
        forgetReceived(piece);
        requestMoreBlocks();
    });
    connect(&m_store, &PieceStore::writeFailed, this, [this](quint64 block) {
        m_received.erase(block);
        requestMoreBlocks();
    });
    connect(&m_store, &PieceStore::piecesLost, this, [this](const QVector<quint32>& pieces) {
        for (quint32 piece : pieces)
            forgetReceived(piece);
        requestMoreBlocks();
    });
    connect(&WriteBacklog::instance(), &WriteBacklog::drained, this, [this] { requestMoreBlocks(); });
}

TorrentSwarm::~TorrentSwarm()
{
    m_peers->disconnectFromPeers();
    for (const auto& wire : m_wires)
        wire->setEndedHandler({});
}

TorrentPeers::Dial TorrentSwarm::dial(const PeerAddress& peer, PeerLink::Handshake handshake)
{
    std::shared_ptr<PeerWire> wire =
        PeerWire::connectTo(*this, peer.hostOrderAddress(), peer.port, now(), handshake);
    if (!wire)
        return {nullptr, PZSocket::isLocalFailure(errno)};
    adopt(wire);
    return {wire};
}

void TorrentSwarm::adopt(const std::shared_ptr<PeerWire>& wire)
{
    wire->setEndedHandler([this](PeerWire& ended) { wireEnded(ended); });
    m_wires.push_back(wire);
    m_connecting.push_back(wire.get());
}

bool TorrentSwarm::attachIncoming(std::shared_ptr<PeerWire> wire)
{
    if (!wire || wire->hasEnded() || wire->torrent() != this || !m_peers->addIncomingPeer(wire))
        return false;
    adopt(wire);
    return true;
}

void TorrentSwarm::wireEnded(PeerWire& wire)
{
    const auto it = std::find_if(m_wires.begin(), m_wires.end(), [&](const auto& w) { return w.get() == &wire; });
    if (it == m_wires.end())
        return;
    m_finished.push_back(*it);
    m_wires.erase(it);
    // Ended between two ticks after its handshake: it did exchange messages.
    if (std::erase(m_connecting, &wire) > 0 && wire.reachedMessages())
        m_peers->peerBecameActive(&wire);
    m_peers->removePeer(&wire);
    m_availableStale = true;
    // What it had in flight is free for the others.
    requestMoreBlocks();
}

void TorrentSwarm::tick()
{
    m_finished.clear();
    // Gathered again at least once a second: a connection that ended before it joined counted too.
    m_availableStale = true;
    const qint64 time = now();
    const auto wires = m_wires;
    for (const auto& wire : wires)
        wire->tick(time);
    const auto connecting = m_connecting;
    for (PeerWire* wire : connecting)
        if (wire->isStreamingMessages() && !wire->hasEnded()) {
            std::erase(m_connecting, wire);
            m_peers->peerBecameActive(wire);
        }
    updateChokeOnLimitChange();
    reportPeersFileFailure();
}

void TorrentSwarm::reportPeersFileFailure()
{
    if (!m_peers->isDatabaseOpen() || !m_torrent.peersFileFailed)
        return;
    const QString error = m_peers->database().openError();
    if (!error.isEmpty())
        m_torrent.peersFileFailed(error);
}

void TorrentSwarm::updateChokeOnLimitChange()
{
    const bool zero = uploadLimitIsZero();
    if (zero == m_uploadLimitWasZero)
        return;
    m_uploadLimitWasZero = zero;
    const auto wires = m_wires;
    for (const auto& wire : wires)
        wire->updateChoke();
}

PeerService::Counts TorrentSwarm::counts() const
{
    PeerService::Counts counts;
    for (const auto& wire : m_wires) {
        if (wire->hasEnded())
            continue;
        if (std::find(m_connecting.begin(), m_connecting.end(), wire.get()) != m_connecting.end()) {
            ++counts.connecting;
        } else {
            ++counts.active;
            counts.activeSeeds += wire->isSeed() ? 1 : 0;
        }
    }
    return counts;
}

quint64 TorrentSwarm::pendingPieceSize() const
{
    quint64 bytes = 0;
    for (const auto& wire : m_wires)
        bytes += wire->pendingPieceSize();
    return bytes;
}

qint64 TorrentSwarm::totalMessagesSent() const
{
    qint64 total = 0;
    for (const auto& wire : m_wires)
        total += wire->stats().written.total;
    return total;
}

qint64 TorrentSwarm::totalMessagesReceived() const
{
    qint64 total = 0;
    for (const auto& wire : m_wires)
        total += wire->stats().read.total;
    return total;
}

void TorrentSwarm::cancelUnneededPieces()
{
    const auto wires = m_wires;
    for (const auto& wire : wires)
        wire->cancelUnneededPieces();
}

void TorrentSwarm::addPeer(const PeerAddress& peer)
{
    m_peers->addNamedPeer(peer);
}

void TorrentSwarm::onPieceVerified(quint32 piece)
{
    forgetReceived(piece);
    const auto wires = m_wires;
    for (const auto& wire : wires)
        if (!wire->hasEnded())
            wire->pieceVerified(piece);
    emit pieceVerified(piece);
}

void TorrentSwarm::forgetReceived(quint32 piece)
{
    const PieceGeometry& geometry = m_store.geometry();
    const quint64 first = geometry.firstBlockOfPiece(piece);
    m_received.erase(m_received.lower_bound(first), m_received.lower_bound(first + geometry.blocksInPiece(piece)));
}

quint16 TorrentSwarm::publicPort() const
{
    return m_torrent.publicPort ? m_torrent.publicPort() : 0;
}

quint32 TorrentSwarm::pieceCount() const
{
    return m_store.geometry().pieceCount();
}

quint32 TorrentSwarm::pieceLength() const
{
    return quint32(m_store.geometry().pieceLength());
}

quint64 TorrentSwarm::totalLength() const
{
    return quint64(m_store.geometry().totalLength());
}

bool TorrentSwarm::isPieceVerified(quint32 piece) const
{
    return m_store.verifiedPieces().containsIndex(piece);
}

bool TorrentSwarm::isPieceNeeded(quint32 piece) const
{
    return piece < pieceCount() && !isPieceVerified(piece)
        && (!m_torrent.isPieceWanted || m_torrent.isPieceWanted(piece));
}

bool TorrentSwarm::hasBlock(quint32 piece, quint32 offset) const
{
    const quint64 block = m_store.geometry().blockIndex(piece, offset);
    return m_received.count(block) > 0 || m_store.storedBlocks().containsIndex(block);
}

bool TorrentSwarm::hasAllBlocks(quint32 piece) const
{
    // Most often every block is among those received and not verified yet: one walk of that range.
    const PieceGeometry& geometry = m_store.geometry();
    const quint64 first = geometry.firstBlockOfPiece(piece);
    const quint32 blocks = geometry.blocksInPiece(piece);
    if (quint64(std::distance(m_received.lower_bound(first), m_received.lower_bound(first + blocks))) == blocks)
        return true;
    return PeerTorrent::hasAllBlocks(piece);
}

bool TorrentSwarm::isSeeding() const
{
    return m_store.verifiedPieces().count() == qint64(pieceCount());
}

bool TorrentSwarm::mayRequestBlocks()
{
    return !WriteBacklog::instance().isFull();
}

void TorrentSwarm::requestMoreBlocks(const PeerWire* except)
{
    const auto wires = m_wires;
    for (const auto& wire : wires)
        if (wire.get() != except && !wire->hasEnded())
            wire->fillRequestQueue();
}

void TorrentSwarm::requestsReleased(PeerWire& from)
{
    requestMoreBlocks(&from);
}

bool TorrentSwarm::isPieceAvailable(quint32 piece) const
{
    if (m_availableStale) {
        m_availableStale = false;
        m_available = QBitArray(int(pieceCount()));
        for (const auto& wire : m_wires)
            if (!wire->hasEnded())
                m_available |= wire->availablePieces();
    }
    return int(piece) < m_available.size() && m_available.testBit(int(piece));
}

void TorrentSwarm::piecesAnnounced(const QBitArray& available)
{
    if (m_available.size() != available.size())
        m_available.resize(available.size());
    m_available |= available;
}

bool TorrentSwarm::uploadLimitIsZero() const
{
    return m_torrent.uploadLimitIsZero && m_torrent.uploadLimitIsZero();
}

bool TorrentSwarm::isPeerIdConnected(const QByteArray& peerId, const PeerWire* except) const
{
    return std::any_of(m_wires.begin(), m_wires.end(), [&](const auto& wire) {
        return wire.get() != except && !wire->hasEnded() && wire->remotePeerId() == peerId;
    });
}

void TorrentSwarm::blockArrived(PeerWire& from, quint32 piece, quint32 offset, const QByteArray& data)
{
    if (m_torrent.storeBlock(from.peerAddress().toString(), piece, offset, data))
        m_received.insert(m_store.geometry().blockIndex(piece, offset));
    // End game: the same block asked of other peers is not wanted from them any more.
    if (m_requested->count(PendingRequests::key(piece, offset)) == 0)
        return;
    const auto wires = m_wires;
    for (const auto& wire : wires)
        if (wire.get() != &from)
            wire->cancelBlock(piece, offset);
}

void TorrentSwarm::readBlock(quint32 piece, quint32 offset, quint32 length, ReadCallback done)
{
    m_store.readSpan(piece, offset, length, std::move(done));
}

void TorrentSwarm::pieceBytesReceived(quint32 bytes)
{
    if (m_torrent.bytesReceived)
        m_torrent.bytesReceived(bytes);
}

void TorrentSwarm::pieceBytesSent(quint32 bytes)
{
    if (m_torrent.bytesSent)
        m_torrent.bytesSent(bytes);
}

void TorrentSwarm::pingDhtNode(quint32 address, quint16 port)
{
    if (m_torrent.pingDhtNode)
        m_torrent.pingDhtNode(address, port);
}

void TorrentSwarm::connectedToOurselves(const PeerAddress& address)
{
    m_peers->connectedToOurselves(address);
}

void TorrentSwarm::peersExchanged(PeerWire& from, const QByteArray& added)
{
    m_peers->addExchangedPeers(from, added);
}

void TorrentSwarm::listeningPortNamed(PeerWire& from)
{
    m_peers->listeningPortNamed(&from);
}

}  // namespace ombrelay
