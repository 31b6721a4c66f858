#include "engine/peers/EnginePeerService.h"

#include "engine/core/DhtService.h"
#include "engine/core/EngineHost.h"
#include "engine/dht/DHTService.h"
#include "engine/peers/TorrentSwarm.h"
#include "engine/storage/SessionFolder.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/TorrentLine.h"
#include "engine/wire/PeerWire.h"
#include "kit/OBDefaults.h"
#include "kit/SteadyClock.h"

#include <QCoreApplication>
#include <QtEndian>

namespace ombrelay {

EnginePeerService::EnginePeerService(std::function<quint16()> publicPort, QObject* parent,
                                     std::function<qint64()> clock)
    : QObject(parent),
      m_publicPort(std::move(publicPort)),
      m_clock(clock ? std::move(clock) : std::function<qint64()>(steadyMilliseconds)),
      m_incoming([this](const QByteArray& hash, PeerWire::TorrentKey key) { return swarmForIncoming(hash, key); }),
      m_manager([this] {
          QList<TorrentPeers*> peers;
          for (TorrentLine* torrent : activeTorrents())
              if (TorrentSwarm* swarm = swarmFor(*torrent))
                  peers.append(&swarm->peers());
          return peers;
      })
{
    connect(&m_timer, &QTimer::timeout, this, &EnginePeerService::tick);
    m_timer.start(1000);
    PeerService::install(this);
}

EnginePeerService::~EnginePeerService()
{
    PeerService::install(nullptr);
    const auto swarms = m_swarms;
    for (TorrentSwarm* swarm : swarms)
        delete swarm;
}

QList<TorrentLine*> EnginePeerService::activeTorrents()
{
    QList<TorrentLine*> torrents;
    for (const TorrentLinePtr& torrent : EngineHost::instance().objects())
        if (DHTService::wantsPeers(torrent.get()))
            torrents.append(torrent.get());
    return torrents;
}

TorrentSwarm* EnginePeerService::swarmFor(TorrentLine& torrent)
{
    if (TorrentSwarm* swarm = m_swarms.value(&torrent))
        return swarm;
    TorrentStorage* storage = torrent.storage();
    if (!storage)
        return nullptr;
    TorrentSwarm::Torrent model;
    model.infoHash = torrent.infoHash();
    model.peerId = PeerWire::localPeerId();
    model.publicPort = m_publicPort;
    model.isPieceWanted = [&torrent](quint32 piece) { return torrent.neededPieces().containsIndex(piece); };
    model.mayConnect = [&torrent] { return DHTService::wantsPeers(&torrent); };
    // The global limit on at 0 kB/s keeps the peers choked, unless the torrent's own limit exempts it
    // from every limit.
    model.uploadLimitIsZero = [&torrent] {
        return OBDefaults::kUploadLimitEnabled() && OBDefaults::kUploadLimit() < 1
            && !torrent.uploadProvision().isExempt();
    };
    model.storeBlock = [storage](const QString& peer, quint32 piece, quint32 offset, const QByteArray& data) {
        return storage->blockArrived(peer, piece, offset, data);
    };
    model.bytesReceived = [&torrent](quint32 bytes) { torrent.downloadBandwidth().recordBytes(bytes); };
    model.bytesSent = [&torrent](quint32 bytes) {
        torrent.uploadBandwidth().recordBytes(bytes);
        torrent.setBytesUploaded(torrent.bytesUploaded() + bytes);
    };
    model.clock = m_clock;
    model.peersFileFailed = [&torrent](const QString& error) {
        torrent.pauseWithError(QCoreApplication::translate("EnginePeerService", "The known peers cannot be opened: %1")
                                   .arg(error));
    };
    model.pingDhtNode = [](quint32 address, quint16 port) {
        DhtService::instance().addNodes({DhtNodeAddress{qToBigEndian(address), port}});
    };
    model.downloadProvision = &torrent.downloadProvision();
    model.uploadProvision = &torrent.uploadProvision();
    const QString database = storage->sessionFolder().isEmpty()
                                 ? QString()
                                 : SessionFolder(storage->sessionFolder()).filePath(QStringLiteral("peers.db"));
    auto* swarm = new TorrentSwarm(std::move(model), storage->store(), database, this);
    m_swarms.insert(&torrent, swarm);
    m_torrentsByInfoHash.insert(torrent.infoHash(), &torrent);
    m_torrentsByObfuscatedHash.insert(torrent.obfuscatedInfoHash(), &torrent);
    const TorrentLine* key = &torrent;
    // The storage goes when the torrent is removed or moved out of the incomplete folder: its swarm too.
    connect(storage, &QObject::destroyed, this, [this, key] { forget(key); });
    return swarm;
}

void EnginePeerService::forget(const TorrentLine* torrent)
{
    const auto isForgotten = [torrent](auto entry) { return entry.value() == torrent; };
    m_torrentsByInfoHash.removeIf(isForgotten);
    m_torrentsByObfuscatedHash.removeIf(isForgotten);
    TorrentSwarm* swarm = m_swarms.take(torrent);
    m_incoming.forgetSwarm(swarm);
    delete swarm;
}

TorrentSwarm* EnginePeerService::swarmForIncoming(const QByteArray& hash, PeerWire::TorrentKey key)
{
    const QHash<QByteArray, TorrentLine*>& torrents =
        key == PeerWire::TorrentKey::InfoHash ? m_torrentsByInfoHash : m_torrentsByObfuscatedHash;
    TorrentLine* torrent = torrents.value(hash);
    if (!torrent) {
        // A torrent started since the last dial may have no swarm yet.
        for (TorrentLine* active : activeTorrents())
            swarmFor(*active);
        torrent = torrents.value(hash);
    }
    // Paused, waiting, halted or finished without seeding: refused before anything is answered.
    if (!DHTService::wantsPeers(torrent))
        return nullptr;
    return m_swarms.value(torrent);
}

bool EnginePeerService::acceptIncomingPeer(int fd, quint32 address, quint16 port)
{
    return m_incoming.accept(fd, address, port, m_clock());
}

void EnginePeerService::addCompactPeers(const QByteArray& infoHash, const QByteArray& compactPeers)
{
    for (TorrentLine* torrent : activeTorrents())
        if (torrent->infoHash() == infoHash)
            if (TorrentSwarm* swarm = swarmFor(*torrent))
                swarm->peers().addCompactPeers(compactPeers);
    connectToPeers();
}

void EnginePeerService::tick()
{
    m_incoming.tick(m_clock());
    const auto swarms = m_swarms;
    for (TorrentSwarm* swarm : swarms)
        swarm->tick();
    connectToPeers();
}

PeerService::Counts EnginePeerService::peerCounts(const TorrentLine& torrent) const
{
    const TorrentSwarm* swarm = m_swarms.value(&torrent);
    return swarm ? swarm->counts() : Counts{};
}

quint64 EnginePeerService::pendingPieceSize(const TorrentLine& torrent) const
{
    const TorrentSwarm* swarm = m_swarms.value(&torrent);
    return swarm ? swarm->pendingPieceSize() : 0;
}

void EnginePeerService::connectToPeers()
{
    m_manager.connectToPeers();
}

void EnginePeerService::disconnectFromPeers(TorrentLine& torrent)
{
    if (TorrentSwarm* swarm = m_swarms.value(&torrent))
        swarm->peers().disconnectFromPeers();
}

void EnginePeerService::optimizePeerConnections(TorrentLine& torrent)
{
    // Paused, waiting and seeding torrents keep their peers: a leecher sends a seed nothing.
    if (torrent.downloadState() != TorrentLine::Downloading)
        return;
    if (TorrentSwarm* swarm = m_swarms.value(&torrent))
        swarm->peers().optimizePeerConnections();
}

void EnginePeerService::cancelUnneededPieces(TorrentLine& torrent)
{
    if (TorrentSwarm* swarm = m_swarms.value(&torrent))
        swarm->cancelUnneededPieces();
}

void EnginePeerService::banPeer(TorrentLine& torrent, const QString& address)
{
    const std::optional<PeerAddress> peer = PeerAddress::fromString(address);
    TorrentSwarm* swarm = m_swarms.value(&torrent);
    if (peer && swarm)
        swarm->banPeer(*peer);
}

void EnginePeerService::dialPeer(TorrentLine& torrent, const QString& address)
{
    const std::optional<PeerAddress> peer = PeerAddress::fromString(address);
    TorrentSwarm* swarm = swarmFor(torrent);
    if (!peer || !swarm) {
        qWarning("*** cannot dial %s for %s", qPrintable(address), qPrintable(torrent.path()));
        return;
    }
    swarm->addPeer(*peer);
    connectToPeers();
}

QByteArray EnginePeerService::peerId(const TorrentLine&)
{
    return PeerWire::localPeerId();
}

void EnginePeerService::addPeers(TorrentLine& torrent, const QList<AnnounceReply::Peer>& peers)
{
    if (TorrentSwarm* swarm = swarmFor(torrent)) {
        swarm->peers().addPeers(peers);
        connectToPeers();
    }
}

}  // namespace ombrelay
