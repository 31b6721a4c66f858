#include "engine/storage/SessionLifecycle.h"

#include "engine/storage/ContentTrash.h"
#include "engine/storage/SessionFolder.h"
#include "engine/storage/TorrentAdder.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"
#include "platform/VolumeMonitor.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace ombrelay {

SessionLifecycle::SessionLifecycle(VolumeMonitor& volumes) : m_volumes(volumes) {}

SessionLifecycle::~SessionLifecycle() = default;

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
    if (!torrent.downloadMountPoint().isEmpty())
        m_mountPoints.insert(torrent.downloadPath(), torrent.downloadMountPoint());
}

bool SessionLifecycle::writeStorageInformation(TorrentLine& torrent)
{
    if (!torrent.creationDate().isValid())
        torrent.setCreationDate(QDateTime::currentDateTimeUtc());
    if (torrent.downloadMountPoint().isEmpty())
        torrent.setDownloadMountPoint(m_volumes.mountPointFor(torrent.downloadPath()));
    const SessionFolder folder(torrent.creationDate(), torrent.infoHash());
    adopt(torrent, folder.path());
    if (!folder.create() || !folder.writeMetainfo(torrent.torrentData())) {
        qWarning("*** Could not write the session folder %s", qPrintable(folder.path()));
        return false;
    }
    writeTorrentPlist(torrent);
    writeStatePlist(torrent);
    return true;
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
        QVector<bool> states;
        for (const FileLine* file : torrent.files())
            states.append(file->shouldDownload());
        record.checkboxStates = states;
    }
    record.storedBlocks = torrent.storedBlocks().bitfield();
    record.verifiedPieces = torrent.downloadedPieces().bitfield();
    return record;
}

void SessionLifecycle::writeTorrentPlist(TorrentLine& torrent)
{
    const QString path = sessionPath(torrent);
    if (!path.isEmpty())
        SessionFolder(path).writeTorrentPlist(recordOf(torrent));
}

void SessionLifecycle::writeStatePlist(TorrentLine& torrent)
{
    const QString path = sessionPath(torrent);
    if (path.isEmpty() || torrent.downloadState() == TorrentLine::None)
        return;
    SessionFolder(path).writeStatePlist(recordOf(torrent));
}

void SessionLifecycle::saveAll(const TorrentLineList& torrents)
{
    for (const TorrentLinePtr& torrent : torrents) {
        writeStatePlist(*torrent);
        if (PieceStore* store = torrent->pieceStore())
            store->saveBitfields();
    }
    PieceStore::storeQueue().drain();
}

void SessionLifecycle::downloadTorrentLines(const TorrentLineList& lines)
{
    TorrentAdder(*this).downloadTorrentLines(lines);
}

void SessionLifecycle::prepareStorage(TorrentLine& torrent)
{
    if (torrent.storage())
        return;
    const QString path = sessionPath(torrent);
    if (path.isEmpty())
        return;  // not added through the session (a search result, a test's memory-only line)
    if (!torrent.downloadMountPoint().isEmpty())
        m_mountPoints.insert(torrent.downloadPath(), torrent.downloadMountPoint());
    torrent.setStorage(std::make_unique<TorrentStorage>(torrent, path));
}

void SessionLifecycle::purgeCachedDescriptors(TorrentLine& torrent)
{
    if (PieceStore* store = torrent.pieceStore()) {
        store->purgeCachedDescriptors();
        store->saveBitfields();
    }
}

void SessionLifecycle::relocateOnCompletion(TorrentLine& torrent)
{
    const QString target = AppPaths::downloadPath();
    if (torrent.downloadPath() == target) {
        torrent.setShouldRelocateOnCompletion(false);
        writeTorrentPlist(torrent);
        return;
    }
    if (PieceStore* store = torrent.pieceStore())
        store->purgeCachedDescriptors();
    const QString from = torrent.fullPath();
    const QString to = QDir(target).filePath(torrent.path());
    if (QFileInfo::exists(to) || !QDir().mkpath(target) || !QDir().rename(from, to)) {
        qWarning("*** enterCompletedState: could not move %s to %s", qPrintable(from), qPrintable(to));
        return;
    }
    // The store names the old paths: build it again over the new ones, from what it knew.
    const bool hadStorage = torrent.storage() != nullptr;
    torrent.dropStorage();
    torrent.setDownloadPath(target);
    torrent.setDownloadMountPoint(m_volumes.mountPointFor(target));
    torrent.setShouldRelocateOnCompletion(false);
    writeTorrentPlist(torrent);
    if (hadStorage)
        prepareStorage(torrent);
}

void SessionLifecycle::torrentRemoved(TorrentLine& torrent, bool wasComplete)
{
    const QString path = m_sessionPaths.take(&torrent);
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

QString SessionLifecycle::recordedMountPoint(const QString& path) const
{
    QString folder = QDir::cleanPath(path);
    while (!folder.isEmpty()) {
        const auto found = m_mountPoints.constFind(folder);
        if (found != m_mountPoints.constEnd())
            return *found;
        const int slash = folder.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break;
        folder.truncate(slash);
    }
    return {};
}

bool SessionLifecycle::isPathOnUnattachedVolume(const QString& path) const
{
    if (path.isEmpty())
        return false;
    return m_volumes.isDetached(path, recordedMountPoint(path));
}

QString SessionLifecycle::volumeName(const QString& path) const
{
    QString mount = recordedMountPoint(path);
    if (mount.isEmpty())
        mount = m_volumes.mountPointFor(path);
    return mount == QLatin1String("/") ? mount : QFileInfo(mount).fileName();
}

}  // namespace ombrelay
