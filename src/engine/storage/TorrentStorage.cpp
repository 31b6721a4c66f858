#include "engine/storage/TorrentStorage.h"

#include "engine/core/PeerService.h"
#include "engine/core/TorrentLifecycle.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

namespace ombrelay {
namespace {

QVector<StorageFile> storageFiles(const TorrentLine& torrent)
{
    QVector<StorageFile> files;
    if (torrent.files().isEmpty()) {
        files.append({torrent.fullPath(), 0, qint64(torrent.totalLength()), true});
        return files;
    }
    for (const FileLine* file : torrent.files()) {
        const PZRange bytes = file->byteRange();
        files.append({file->fullPath(), qint64(bytes.location), qint64(bytes.length), file->shouldDownload()});
    }
    return files;
}

}  // namespace

TorrentStorage::TorrentStorage(TorrentLine& torrent, const QString& sessionFolder)
    : m_torrent(torrent),
      m_sessionFolder(sessionFolder),
      m_store(std::make_unique<PieceStore>(torrent.geometry(), storageFiles(torrent), torrent.piecesData()))
{
    m_store->setDetachedTest(TorrentLifecycle::instance().detachedTest(torrent));
    m_store->restore(torrent.recordedStoredBlocks(), torrent.recordedDownloadedPieces());
    m_store->setBitfieldFolder(sessionFolder);
    connect(m_store.get(), &PieceStore::pieceVerified, this, &TorrentStorage::pieceVerified);
    connect(m_store.get(), &PieceStore::pieceFailed, this, &TorrentStorage::pieceFailed);
    connect(m_store.get(), &PieceStore::writeFailed, this, &TorrentStorage::writeFailed);
    connect(m_store.get(), &PieceStore::piecesLost, this, &TorrentStorage::piecesLost);
    connect(m_store.get(), &PieceStore::existingDataChecked, this, &TorrentStorage::existingDataChecked);
    connect(m_store.get(), &PieceStore::bitfieldWriteFailed, this,
            [this](const QString& error) { SessionLifecycle::reportWriteFailure(m_torrent, error); });
}

TorrentStorage::~TorrentStorage() = default;

bool TorrentStorage::blockArrived(const QString& peer, quint32 piece, quint32 offset, const QByteArray& data)
{
    if (!m_store->storeBlock(piece, offset, data))
        return false;
    const quint64 block = m_store->geometry().blockIndex(piece, offset);
    if (!m_torrent.downloadedBlocks().containsIndex(block)) {
        m_torrent.downloadedBlocks().addIndex(block);
        m_torrent.setDownloaded(m_torrent.downloaded() + quint64(data.size()));
    }
    // The first copy of a block is the one written; copies that arrive later are dropped by the store.
    // A block stored before this start has no sender.
    if (!m_senders.contains(block) && !m_store->storedBlocks().containsIndex(block))
        m_senders.insert(block, peer);
    return true;
}

void TorrentStorage::pieceVerified(quint32 piece)
{
    forgetSenders(piece);
    addDownloadedBlocks(piece);
    PeerService::instance().pieceVerified(m_torrent, piece);
    // Completion may relocate the torrent and rebuild its storage: not from inside this store's signal.
    // A paused torrent completes too: its last piece was already on the way.
    QMetaObject::invokeMethod(&m_torrent, [torrent = &m_torrent] {
        const int state = torrent->downloadState();
        if (state == TorrentLine::None || state == TorrentLine::Complete || !torrent->hasDownloadedAllNeededPieces())
            return;
        if (state == TorrentLine::Halted)
            torrent->setResumeState(TorrentLine::Complete);
        else
            torrent->didComplete();
    }, Qt::QueuedConnection);
}

void TorrentStorage::pieceFailed(quint32 piece)
{
    forgetDownloadedBlocks(piece);
    // Blame goes by address, as bans do: a peer that comes back from another port keeps its count.
    QHash<QString, QString> sources;  // address → one of its senders
    for (const QString& peer : sendersToBlame(piece))
        sources.insert(addressOf(peer), peer);
    forgetSenders(piece);
    qWarning("*** %s: piece %u failed its check (%lld peers blamed)", qPrintable(m_torrent.path()), piece,
             qint64(sources.size()));
    for (auto source = sources.cbegin(); source != sources.cend(); ++source) {
        const int failures = ++m_failures[source.key()];
        if (sources.size() == 1 || failures >= kFailedPiecesBeforeBan)
            PeerService::instance().banPeer(m_torrent, source.value());
    }
    PeerService::instance().pieceFailed(m_torrent, piece);
}

void TorrentStorage::writeFailed(quint64 block, const QString& error, bool detached)
{
    m_senders.remove(block);
    if (m_torrent.downloadedBlocks().containsIndex(block)) {
        m_torrent.downloadedBlocks().removeIndex(block);
        recountDownloaded();
    }
    if (detached)
        halt();
    else
        m_torrent.pauseWithError(error);
}

void TorrentStorage::halt()
{
    const int state = m_torrent.downloadState();
    if (state == TorrentLine::Halted || state == TorrentLine::None)
        return;
    m_torrent.setResumeState(state);
    m_torrent.setDownloadState(TorrentLine::Halted);
    PeerService::instance().disconnectFromPeers(m_torrent);
    m_store->purgeCachedDescriptors();
}

void TorrentStorage::piecesLost(const QVector<quint32>& pieces)
{
    for (quint32 piece : pieces) {
        forgetDownloadedBlocks(piece);
        forgetSenders(piece);
    }
    if (m_torrent.isComplete())
        updateTorrentLater();  // downloads them again
}

void TorrentStorage::existingDataChecked(const PZIndexSet& verified)
{
    for (quint64 piece : verified.indexArray())
        addDownloadedBlocks(quint32(piece));
    updateTorrentLater();
}

void TorrentStorage::updateTorrentLater()
{
    // Completing may relocate the torrent and rebuild its storage: never from inside this store's signal.
    QMetaObject::invokeMethod(&m_torrent, [torrent = &m_torrent] {
        if (torrent->downloadState() != TorrentLine::None)
            torrent->updateNeededPieces();
    }, Qt::QueuedConnection);
}

void TorrentStorage::addDownloadedBlocks(quint32 piece)
{
    const PieceGeometry& geometry = m_store->geometry();
    const quint64 first = geometry.firstBlockOfPiece(piece);
    bool added = false;
    for (quint32 b = 0; b < geometry.blocksInPiece(piece); ++b) {
        if (!m_torrent.downloadedBlocks().containsIndex(first + b)) {
            m_torrent.downloadedBlocks().addIndex(first + b);
            added = true;
        }
    }
    if (added)
        recountDownloaded();
}

void TorrentStorage::forgetDownloadedBlocks(quint32 piece)
{
    const PieceGeometry& geometry = m_store->geometry();
    const quint64 first = geometry.firstBlockOfPiece(piece);
    for (quint32 b = 0; b < geometry.blocksInPiece(piece); ++b)
        m_torrent.downloadedBlocks().removeIndex(first + b);
    recountDownloaded();
}

QString TorrentStorage::addressOf(const QString& peer)
{
    return peer.section(QLatin1Char(':'), 0, 0);
}

QSet<QString> TorrentStorage::sendersToBlame(quint32 piece) const
{
    const PieceGeometry& geometry = m_store->geometry();
    const quint64 first = geometry.firstBlockOfPiece(piece);
    QSet<QString> senders;
    for (quint32 b = 0; b < geometry.blocksInPiece(piece); ++b) {
        const auto sender = m_senders.constFind(first + b);
        if (sender == m_senders.constEnd())
            return {};
        senders.insert(*sender);
    }
    return senders;
}

void TorrentStorage::forgetSenders(quint32 piece)
{
    const PieceGeometry& geometry = m_store->geometry();
    const quint64 first = geometry.firstBlockOfPiece(piece);
    for (quint32 b = 0; b < geometry.blocksInPiece(piece); ++b)
        m_senders.remove(first + b);
}

void TorrentStorage::recountDownloaded()
{
    m_torrent.setDownloaded(m_torrent.bytesOfBlocks(m_torrent.downloadedBlocks()));
}

}  // namespace ombrelay
