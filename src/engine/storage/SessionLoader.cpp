#include "engine/storage/SessionLoader.h"

#include "engine/core/PeerService.h"
#include "engine/peers/PeersDatabase.h"
#include "engine/storage/SessionFolder.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace ombrelay {

SessionLoader::SessionLoader(SessionLifecycle& session, QObject* parent) : QObject(parent), m_session(session) {}

void SessionLoader::loadTorrentsFromDisk()
{
    m_pending = SessionFolder::storedFolderNames();
    QSet<QByteArray> waiting;
    for (const QString& name : std::as_const(m_pending))
        waiting.insert(SessionFolder::infoHashFromName(name));
    m_session.setWaitingToLoad(std::move(waiting));
    for (const TorrentLinePtr& torrent : EngineHost::instance().objects())
        m_infoHashes.insert(torrent->infoHash());
    // Folders of removed torrents whose deletion did not finish.
    const QString storage = SessionFolder::storageDirectory();
    const QStringList leftovers = QDir(storage).entryList({QStringLiteral("*.removed")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : leftovers)
        SessionLifecycle::cleanupQueue().post(nullptr, [path = QDir(storage).filePath(name)] { QDir(path).removeRecursively(); });
    QTimer::singleShot(0, this, &SessionLoader::loadNextPass);
}

void SessionLoader::loadNextPass()
{
    const QStringList names = m_pending.mid(0, kFoldersPerPass);
    m_pending = m_pending.mid(names.size());
    TorrentLineList kept;
    const QDir storage(SessionFolder::storageDirectory());
    for (const QString& name : names) {
        const TorrentLinePtr torrent = torrentFromFolder(storage.filePath(name));
        if (!torrent)
            continue;
        const int state = torrent->downloadState();
        torrent->beginDownloadWithState(state == TorrentLine::None ? TorrentLine::Downloading : state);
        kept.append(torrent);
    }
    if (!kept.isEmpty())
        EngineHost::instance().addDownloads(kept);
    for (const QString& name : names)
        m_session.doneLoading(SessionFolder::infoHashFromName(name));
    // A check of existing files that a quit or a crash cut short runs again before anything is written.
    for (const TorrentLinePtr& torrent : kept)
        if (torrent->isCheckingFiles())
            m_session.checkExistingFiles(*torrent);
    emit passLoaded(int(kept.size()));
    QTimer::singleShot(0, this, [] { PeerService::instance().connectToPeers(); });
    if (m_pending.isEmpty())
        emit finished();
    else
        QTimer::singleShot(0, this, &SessionLoader::loadNextPass);
}

TorrentLinePtr SessionLoader::torrentFromFolder(const QString& path)
{
    const SessionFolder folder(path);
    const std::optional<SessionRecord> record = folder.read(kMaxMetainfoBytes);
    const TorrentLinePtr torrent = record ? TorrentLine::torrentLineForData(record->metainfo) : nullptr;
    if (!torrent) {
        qWarning("*** Skipped the session folder %s: its metainfo is missing or damaged", qPrintable(path));
        return nullptr;
    }
    if (m_infoHashes.contains(torrent->infoHash())) {
        qWarning("*** Skipped the session folder %s: its torrent is loaded already", qPrintable(path));
        return nullptr;
    }
    m_infoHashes.insert(torrent->infoHash());
    if (record->hadLegacyMetainfo && !folder.writeMetainfo(record->metainfo))
        qWarning("*** Could not write the metainfo of %s", qPrintable(path));
    torrent->dropTorrentData();

    torrent->setIsDeserializing(true);
    torrent->setCreationDate(record->creationDate);
    torrent->setDownloadPath(record->downloadPath.isEmpty() ? AppPaths::downloadPath() : record->downloadPath);
    torrent->setDownloadMountPoint(record->downloadMountPoint);
    torrent->setShouldRelocateOnCompletion(record->shouldRelocateOnCompletion);
    m_session.adopt(*torrent, path);
    if (!record->legacyCompactPeers.isEmpty()) {
        // Written to "peers.db" on the peers file queue, ahead of anything the torrent does with it.
        PeersDatabase(folder.filePath(QStringLiteral("peers.db")))
            .insertPeers(PeerAddress::fromCompactList(record->legacyCompactPeers, PeersDatabase::kMaxRows));
        folder.removeLegacyPeers();
    }

    torrent->restoreDownloadState(record->downloadState);
    if (record->downloadState == TorrentLine::Paused) {
        torrent->restoreErrorText(record->errorText);
        if (record->stateAfterCheck == TorrentLine::Downloading || record->stateAfterCheck == TorrentLine::Waiting)
            torrent->setStateAfterCheck(record->stateAfterCheck);
    } else if (!record->hasState && record->storedBlocks.count('\0') == record->storedBlocks.size()) {
        // Added, then cut short before its state was written: it checks the files there and waits its
        // turn in the queue, as when it was added.
        torrent->restoreDownloadState(TorrentLine::Paused);
        torrent->setStateAfterCheck(TorrentLine::Waiting);
    }
    // Stored sets may be shorter than the torrent's (a set written as it grew) or name more than it holds.
    const auto load = [&path](PZIndexSet& set, const QByteArray& stored, const char* name) {
        if (!set.loadStoredBitfield(stored))
            qWarning("*** %s: the stored %s name more than the torrent holds; the rest is ignored", qPrintable(path), name);
    };
    load(torrent->downloadedBlocks(), record->storedBlocks, "blocks");
    torrent->recordedStoredBlocks() = torrent->downloadedBlocks();
    load(torrent->recordedDownloadedPieces(), record->verifiedPieces, "pieces");
    load(torrent->exportedIndices(), record->exportedIndices, "handed-over files");
    torrent->setBytesUploaded(record->bytesUploaded);
    torrent->setCustomDownloadLimit(int(record->customDownloadLimit));
    torrent->setCustomUploadLimit(int(record->customUploadLimit));
    if (record->checkboxStates) {
        // Kept by metainfo entry number, padding included.
        const QVector<bool>& states = *record->checkboxStates;
        for (FileLine* file : torrent->files())
            if (file->fileIndex() < quint64(states.size()) && !states.at(file->fileIndex()))
                file->setCheckboxState(OBLine::Skipped, false);
    }

    // The content was deleted while we were not running: start again from nothing.
    if (!m_session.isOnUnattachedVolume(*torrent) && !QFileInfo::exists(torrent->fullPath()) &&
        torrent->downloadedBlocks().count() > 0) {
        if (torrent->downloadState() == TorrentLine::Complete)
            torrent->restoreDownloadState(TorrentLine::Downloading);
        torrent->downloadedBlocks().removeAllIndexes();
        torrent->recordedStoredBlocks().removeAllIndexes();
        torrent->recordedDownloadedPieces().removeAllIndexes();
        torrent->exportedIndices().removeAllIndexes();
        torrent->setBytesUploaded(0);
        folder.removeBitfields();
        m_session.writeTorrentPlist(*torrent);
        m_session.writeStatePlist(*torrent);
    }
    torrent->setIsDeserializing(false);
    return torrent;
}

}  // namespace ombrelay
