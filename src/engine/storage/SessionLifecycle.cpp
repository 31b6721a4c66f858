#include "engine/storage/SessionLifecycle.h"

#include "engine/core/PeerService.h"
#include "engine/storage/ContentMover.h"
#include "engine/storage/ContentTrash.h"
#include "engine/storage/ExistingFilesCheck.h"
#include "engine/storage/SessionFolder.h"
#include "engine/storage/StateFileWriter.h"
#include "engine/storage/TorrentAdder.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"
#include "platform/VolumeMonitor.h"

#include "engine/storage/PieceStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <cstring>
#include <optional>

namespace ombrelay {

SessionLifecycle::SessionLifecycle(VolumeMonitor& volumes) : m_volumes(volumes) {}

SessionLifecycle::~SessionLifecycle()
{
    // A copy to another disk under way stops rather than holding the quit; the next start moves again.
    m_quitting = true;
    StateFileWriter::instance().drain();
    cleanupQueue().cancel(this);
    PieceStore::storeQueue().cancel(this);
}

bool SessionLifecycle::renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    // A file system without the flag: checked first, as closely as it allows.
    struct stat st;
    if (::lstat(target.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(source.constData(), target.constData()) == 0;
}

SerialQueue& SessionLifecycle::cleanupQueue()
{
    static SerialQueue queue(QStringLiteral("ombrelay-cleanup"));
    return queue;
}

QString SessionLifecycle::sessionPath(const TorrentLine& torrent) const
{
    return m_sessionPaths.value(&torrent);
}

void SessionLifecycle::adopt(const TorrentLine& torrent, const QString& path)
{
    m_sessionPaths.insert(&torrent, path);
    rememberMountPoint(torrent);
}

void SessionLifecycle::rememberMountPoint(const TorrentLine& torrent)
{
    if (!torrent.downloadMountPoint().isEmpty())
        m_knownMountPoints.insert(QDir::cleanPath(torrent.downloadMountPoint()));
}

QString SessionLifecycle::mountPointToRecord(const QString& folder) const
{
    return m_volumes.mountPointToRecord(folder,
                                        QStringList(m_knownMountPoints.cbegin(), m_knownMountPoints.cend()));
}

QString SessionLifecycle::mountPointOf(const TorrentLine& torrent) const
{
    return torrent.downloadMountPoint().isEmpty() ? mountPointToRecord(torrent.downloadPath())
                                                  : torrent.downloadMountPoint();
}

bool SessionLifecycle::writeStorageInformation(TorrentLine& torrent, QString* error)
{
    if (!torrent.creationDate().isValid())
        torrent.setCreationDate(QDateTime::currentDateTimeUtc());
    // Taken from the folder the torrent goes to, so that a torrent added while its disk is away is
    // halted, not written into the empty mount point.
    if (torrent.downloadMountPoint().isEmpty())
        torrent.setDownloadMountPoint(mountPointToRecord(torrent.downloadPath()));
    const SessionFolder folder(torrent.creationDate(), torrent.infoHash());
    adopt(torrent, folder.path());
    QString reason;
    if (!folder.create(&reason) || !folder.writeMetainfo(torrent.torrentData(), &reason)
        || !folder.writeTorrentPlist(recordOf(torrent), &reason)) {
        qWarning("*** Could not write the session folder %s: %s", qPrintable(folder.path()), qPrintable(reason));
        m_unwrittenFolders.insert(&torrent);
        if (error)
            *error = reason;
        return false;
    }
    m_unwrittenFolders.remove(&torrent);
    return true;
}

bool SessionLifecycle::writeMissingSessionFolder(TorrentLine& torrent)
{
    if (!m_unwrittenFolders.contains(&torrent))
        return true;
    QString error;
    if (writeStorageInformation(torrent, &error))
        return true;
    reportWriteFailure(torrent, error);
    return false;
}

void SessionLifecycle::reportWriteFailure(TorrentLine& torrent, const QString& error)
{
    torrent.pauseWithError(QCoreApplication::translate("SessionLifecycle", "Its state cannot be saved: %1").arg(error));
}

SessionRecord SessionLifecycle::recordOf(const TorrentLine& torrent) const
{
    SessionRecord record;
    record.creationDate = torrent.creationDate();
    record.downloadPath = torrent.downloadPath();
    record.downloadMountPoint = torrent.downloadMountPoint();
    record.shouldRelocateOnCompletion = torrent.shouldRelocateOnCompletion();
    record.downloadState = torrent.isHalted() ? torrent.resumeState() : torrent.downloadState();
    record.exportedIndices = torrent.exportedIndices().bitfield();
    record.bytesUploaded = torrent.bytesUploaded();
    record.customDownloadLimit = torrent.customDownloadLimit();
    record.customUploadLimit = torrent.customUploadLimit();
    if (!torrent.files().isEmpty()) {
        // One per metainfo entry, padding (always wanted) included.
        QVector<bool> states(qsizetype(torrent.files().last()->fileIndex()) + 1, true);
        for (const FileLine* file : torrent.files())
            states[file->fileIndex()] = file->shouldDownload();
        record.checkboxStates = states;
    }
    record.errorText = torrent.isPaused() ? torrent.errorText() : QString();
    record.stateAfterCheck = torrent.stateAfterCheck();
    record.storedBlocks = torrent.storedBlocks().bitfield();
    record.verifiedPieces = torrent.downloadedPieces().bitfield();
    return record;
}

void SessionLifecycle::writeTorrentPlist(TorrentLine& torrent)
{
    const QString path = sessionPath(torrent);
    QString error;
    if (!path.isEmpty() && !SessionFolder(path).writeTorrentPlist(recordOf(torrent), &error))
        reportWriteFailure(torrent, error);
}

void SessionLifecycle::writeStatePlist(TorrentLine& torrent)
{
    const QString path = sessionPath(torrent);
    if (path.isEmpty() || torrent.downloadState() == TorrentLine::None)
        return;
    StateFileWriter::instance().write(
        SessionFolder(path).statePlistPath(), SessionFolder::statePlist(recordOf(torrent)),
        [this, alive = QPointer<QObject>(&m_mainThread), weak = torrent.weak_from_this(), path](const QString& error) {
            // A torrent removed meanwhile has no folder to write to.
            const TorrentLinePtr line = weak.lock();
            if (alive && line && sessionPath(*line) == path)
                reportWriteFailure(*line, error);
        });
}

void SessionLifecycle::saveAll(const TorrentLineList& torrents)
{
    // A check of existing files is not waited for: stored with the state, it goes on after the save, or
    // runs again at the next start.
    for (const TorrentLinePtr& torrent : torrents)
        if (PieceStore* store = torrent->pieceStore())
            store->stopExistingDataCheck();
    // The blocks handed over are written first, so that the bitfields name them.
    PieceStore::drainQueues();
    for (const TorrentLinePtr& torrent : torrents) {
        writeStatePlist(*torrent);
        if (PieceStore* store = torrent->pieceStore())
            store->saveBitfields();
    }
    StateFileWriter::instance().drain();
    for (const TorrentLinePtr& torrent : torrents)
        if (PieceStore* store = torrent->pieceStore())
            store->resumeExistingDataCheck();
}

void SessionLifecycle::checkExistingFiles(TorrentLine& torrent)
{
    ExistingFilesCheck::start(torrent);
}

void SessionLifecycle::downloadTorrentLines(const TorrentLineList& lines, bool askForFolder)
{
    TorrentAdder(*this).downloadTorrentLines(lines, askForFolder);
}

void SessionLifecycle::prepareStorage(TorrentLine& torrent)
{
    if (torrent.storage())
        return;
    const QString path = sessionPath(torrent);
    if (path.isEmpty())
        return;  // not added through the session (a search result, a test's memory-only line)
    rememberMountPoint(torrent);
    torrent.setStorage(std::make_unique<TorrentStorage>(torrent, path));
}

void SessionLifecycle::purgeCachedDescriptors(TorrentLine& torrent)
{
    if (PieceStore* store = torrent.pieceStore()) {
        store->purgeCachedDescriptors();
        store->saveBitfields();
    }
}

void SessionLifecycle::relocateOnCompletion(TorrentLine& torrent, std::function<void()> done)
{
    const auto finish = [&done] {
        if (done)
            done();
    };
    if (m_relocations.contains(&torrent))
        return;  // a move under way tells its own caller; the torrent completes once

    const QString target = AppPaths::downloadPath();
    if (isPathOnUnattachedVolume(target))
        return haltUntilDiskReturns(torrent, target, std::move(done));
    if (const std::function<void()> awaited = m_awaitedMoves.take(&torrent)) {
        // The disk is back: what waited for the move waits for this one.
        done = [awaited, then = std::move(done)] {
            awaited();
            if (then)
                then();
        };
    }
    if (torrent.downloadPath() == target) {
        torrent.setShouldRelocateOnCompletion(false);
        writeTorrentPlist(torrent);
        return finish();
    }
    const QString from = torrent.fullPath();
    const QString to = QDir(target).filePath(torrent.path());
    if (!QDir().mkpath(target)) {
        qWarning("*** enterCompletedState: could not make %s", qPrintable(target));
        return finish();
    }
    if (PieceStore* store = torrent.pieceStore())
        store->purgeCachedDescriptors();
    if (renameNoReplace(from, to)) {
        settleInFolder(torrent, target);
        return finish();
    }
    if (errno != EXDEV) {
        qWarning("*** enterCompletedState: could not move %s to %s: %s", qPrintable(from), qPrintable(to),
                 std::strerror(errno));
        return finish();
    }
    m_relocations.insert(&torrent, {torrent.weak_from_this(), [done](const QString&) {
                                        if (done)
                                            done();
                                    }});
    relocateAcrossDisks(torrent, from, to);
}

void SessionLifecycle::haltUntilDiskReturns(TorrentLine& torrent, const QString& folder,
                                            std::function<void()> done)
{
    // Never made in the empty mount point the disk left behind, where the content would lie hidden once
    // the disk is back.
    qWarning("*** enterCompletedState: the disk of %s is not attached", qPrintable(folder));
    if (done)
        m_awaitedMoves.insert(&torrent, std::move(done));
    torrent.setAwaitedMountPoint(mountPointToRecord(folder));
    if (!torrent.isHalted()) {
        torrent.setResumeState(TorrentLine::Complete);
        torrent.setDownloadState(TorrentLine::Halted);
        PeerService::instance().disconnectFromPeers(torrent);
    }
    purgeCachedDescriptors(torrent);
}

void SessionLifecycle::relocate(TorrentLine& torrent, const QString& folder,
                                std::function<void(const QString& error)> done)
{
    if (m_relocations.contains(&torrent)) {
        if (done)
            done(QStringLiteral("it is being moved already"));
        return;
    }
    Relocation relocation{torrent.weak_from_this(), std::move(done), torrent.downloadState(), true};
    m_relocations.insert(&torrent, relocation);
    // Nothing may be written under the old paths once the move is asked for: no peers now, then the
    // store's queued writes run out before the content moves.
    if (torrent.downloadState() == TorrentLine::Downloading || torrent.downloadState() == TorrentLine::Waiting)
        torrent.pauseDownload();
    m_moveQueue.append({&torrent, torrent.weak_from_this(), folder});
    if (!m_currentMove)
        startNextMove();
}

void SessionLifecycle::startNextMove()
{
    while (!m_moveQueue.isEmpty()) {
        const QueuedMove move = m_moveQueue.takeFirst();
        if (!isRelocating(move.key, move.torrent))
            continue;  // removed while it waited
        m_currentMove = move.key;
        if (const TorrentLinePtr torrent = move.torrent.lock(); torrent && torrent->pieceStore())
            torrent->pieceStore()->postReceivedBlocks();  // written before the content moves
        PieceStore::storeQueue().post(this, [this, move] {
            QMetaObject::invokeMethod(&m_mainThread, [this, move] { moveDrained(move.key, move.torrent, move.folder); },
                                      Qt::QueuedConnection);
        });
        return;
    }
    m_currentMove = nullptr;
}

void SessionLifecycle::moveDrained(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak,
                                   const QString& folder)
{
    const TorrentLinePtr torrent = weak.lock();
    if (!isRelocating(key, weak))
        return;  // removed meanwhile: the removal started the next move
    if (!torrent || torrent->downloadState() == TorrentLine::None)
        return finishRelocation(key, weak, QStringLiteral("the torrent was removed"));
    if (torrent->downloadState() == TorrentLine::Downloading || torrent->downloadState() == TorrentLine::Waiting) {
        // Resumed while it waited: stopped again, and its writes run out again before anything moves.
        m_relocations[key].restoreState = torrent->downloadState();
        torrent->pauseDownload();
        m_moveQueue.prepend({key, weak, folder});
        return startNextMove();
    }
    if (torrent->isHalted())
        return finishRelocation(key, weak, QStringLiteral("its disk is not attached"));
    // Nothing is made in the empty mount point a disk leaves behind.
    if (isPathOnUnattachedVolume(folder))
        return finishRelocation(key, weak, QStringLiteral("the disk of %1 is not attached").arg(folder));
    const QString from = torrent->fullPath();
    const QString to = QDir(folder).filePath(torrent->path());
    if (!QDir().mkpath(folder))
        return finishRelocation(key, weak, QStringLiteral("could not make %1").arg(folder));
    if (PieceStore* store = torrent->pieceStore())
        store->purgeCachedDescriptors();
    if (!QFileInfo::exists(from) && !QFileInfo(from).isSymLink()) {
        // Nothing written yet: only the record moves. A record of stored blocks keeps naming their place.
        if (torrent->storedBlocks().count() > 0)
            return finishRelocation(key, weak, QStringLiteral("its data is not at %1").arg(from));
        settleInFolder(*torrent, folder, true);
        return finishRelocation(key, weak);
    }
    if (renameNoReplace(from, to)) {
        settleInFolder(*torrent, folder, true);
        return finishRelocation(key, weak);
    }
    if (errno != EXDEV)
        return finishRelocation(key, weak, QString::fromLocal8Bit(std::strerror(errno)));
    relocateAcrossDisks(*torrent, from, to);
}

void SessionLifecycle::relocateAcrossDisks(TorrentLine& torrent, const QString& from, const QString& to)
{
    // Blocks stored while the copy runs would be missing from it: the copy is then given up.
    const QByteArray blocksWhenStarted = torrent.storedBlocks().bitfield();
    const TorrentLine* key = &torrent;
    const std::weak_ptr<TorrentLine> weak = torrent.weak_from_this();
    cleanupQueue().post(this, [this, key, weak, from, to, blocksWhenStarted] {
        const QString partial = ContentMover::partialPath(to);
        ContentMover::removeTree(partial);  // left by a copy that a quit cut short
        QString error;
        const bool copied = ContentMover::copy(from, partial, &error, &m_quitting);
        if (m_quitting) {
            ContentMover::removeTree(partial);  // no one is left to move it into place
            return;
        }
        QMetaObject::invokeMethod(&m_mainThread, [=, this] {
            copiedAcrossDisks(key, weak, from, to, blocksWhenStarted, copied, error);
        }, Qt::QueuedConnection);
    });
}

void SessionLifecycle::copiedAcrossDisks(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak,
                                         const QString& from, const QString& to, const QByteArray& blocksWhenStarted,
                                         bool copied, const QString& error)
{
    const QString partial = ContentMover::partialPath(to);
    const TorrentLinePtr torrent = weak.lock();
    QString failure = copied ? QString() : error;
    if (!torrent || !isRelocating(key, weak) || torrent->downloadState() == TorrentLine::None)
        failure = QStringLiteral("the torrent was removed");
    else if (copied && torrent->storedBlocks().bitfield() != blocksWhenStarted)
        failure = QStringLiteral("its data changed during the copy");
    else if (copied && !renameNoReplace(partial, to))
        failure = QString::fromLocal8Bit(std::strerror(errno));
    if (!failure.isEmpty()) {
        if (copied)
            cleanupQueue().post(nullptr, [partial] { ContentMover::removeTree(partial); });
        return finishRelocation(key, weak, QStringLiteral("could not move %1 to %2: %3").arg(from, to, failure));
    }
    if (PieceStore* store = torrent->pieceStore())
        store->purgeCachedDescriptors();
    settleInFolder(*torrent, QFileInfo(to).path(), m_relocations.value(key).toIncomplete);
    cleanupQueue().post(nullptr, [from] {
        if (!ContentMover::removeTree(from))
            qWarning("*** Could not remove %s after copying it", qPrintable(from));
    });
    finishRelocation(key, weak);
}

void SessionLifecycle::finishRelocation(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak,
                                        const QString& error)
{
    if (!isRelocating(key, weak))
        return;  // dropped by removal
    const Relocation relocation = m_relocations.take(key);
    if (!error.isEmpty() && !relocation.toIncomplete)
        qWarning("*** enterCompletedState: %s", qPrintable(error));
    if (relocation.toIncomplete && m_currentMove == key) {
        // The next move starts from a later pass of the loop.
        QMetaObject::invokeMethod(&m_mainThread, [this] { startNextMove(); }, Qt::QueuedConnection);
    }
    const TorrentLinePtr torrent = weak.lock();
    if (torrent && relocation.restoreState == TorrentLine::Downloading && torrent->isPaused())
        torrent->retryDownload();
    else if (torrent && relocation.restoreState == TorrentLine::Waiting && torrent->isPaused())
        torrent->setDownloadState(TorrentLine::Waiting);
    if (relocation.done)
        relocation.done(error);
}

bool SessionLifecycle::isRelocating(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak) const
{
    // The address alone could be a later torrent's.
    const auto running = m_relocations.constFind(key);
    return running != m_relocations.constEnd() && !running->torrent.owner_before(weak) &&
           !weak.owner_before(running->torrent);
}

void SessionLifecycle::settleInFolder(TorrentLine& torrent, const QString& folder, bool relocateOnCompletion)
{
    // The store names the old paths: build it again over the new ones, from what it knew.
    const bool hadStorage = torrent.storage() != nullptr;
    torrent.dropStorage();
    torrent.setDownloadPath(folder);
    torrent.setDownloadMountPoint(mountPointToRecord(folder));
    torrent.setAwaitedMountPoint({});
    rememberMountPoint(torrent);
    torrent.setShouldRelocateOnCompletion(relocateOnCompletion);
    writeTorrentPlist(torrent);
    if (hadStorage)
        prepareStorage(torrent);
}

void SessionLifecycle::torrentRemoved(TorrentLine& torrent, bool wasComplete)
{
    const QString path = m_sessionPaths.take(&torrent);
    m_awaitedMoves.remove(&torrent);
    m_unwrittenFolders.remove(&torrent);
    // A copy under way is dropped when it ends; a move asked for is told it ended.
    const Relocation relocation = m_relocations.take(&torrent);
    if (relocation.toIncomplete) {
        if (relocation.done)
            relocation.done(QStringLiteral("the torrent was removed"));
        if (m_currentMove == &torrent)
            QMetaObject::invokeMethod(&m_mainThread, [this] { startNextMove(); }, Qt::QueuedConnection);
    }
    if (PieceStore* store = torrent.pieceStore()) {
        store->cancelQueuedWork();
        store->purgeCachedDescriptors();
    }
    std::optional<ContentTrash> trash;
    if (!wasComplete)
        trash = ContentTrash::of(torrent);
    torrent.dropStorage();
    // Renamed at once so that the torrent never comes back at the next start, deleted in the background.
    QString doomed;
    if (!path.isEmpty()) {
        doomed = path + QStringLiteral(".removed");
        if (!QDir().rename(path, doomed))
            doomed = path;
    }
    cleanupQueue().post(nullptr, [trash, doomed] {
        if (trash)
            trash->moveToTrash();
        if (!doomed.isEmpty())
            QDir(doomed).removeRecursively();
    });
}

bool SessionLifecycle::isPathOnUnattachedVolume(const QString& path) const
{
    return !path.isEmpty() && m_volumes.isDetached(path, mountPointToRecord(path));
}

bool SessionLifecycle::isOnUnattachedVolume(const TorrentLine& torrent) const
{
    // Another torrent's record of the same folder says nothing: a disk may have been mounted over the
    // folder since this torrent was added there, or taken away.
    return !torrent.downloadPath().isEmpty() &&
           m_volumes.isDetached(torrent.downloadPath(), mountPointOf(torrent));
}

std::function<bool(const QString&)> SessionLifecycle::detachedTest(const TorrentLine& torrent) const
{
    return [&volumes = m_volumes, mountPoint = mountPointOf(torrent)](const QString& path) {
        return volumes.isDetached(path, mountPoint);
    };
}

QString SessionLifecycle::volumeName(const QString& path) const
{
    return VolumeMonitor::volumeName(mountPointToRecord(path));
}

}  // namespace ombrelay
