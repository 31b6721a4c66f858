#pragma once

#include "engine/core/TorrentLifecycle.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace ombrelay {

class SerialQueue;
class VolumeMonitor;
struct SessionRecord;

// The torrent lifecycle on disk: each torrent's session folder and its writes, its piece store, the move
// out of the incomplete folder, the clean-up after removal, and detached disks. Installed at engine start.
// Main thread only.
class SessionLifecycle : public TorrentLifecycle
{
public:
    explicit SessionLifecycle(VolumeMonitor& volumes);
    ~SessionLifecycle() override;

    // The session folder a torrent uses (kept as first named, so it never moves under a torrent).
    QString sessionPath(const TorrentLine& torrent) const;
    // A torrent rebuilt from its folder keeps writing there.
    void adopt(const TorrentLine& torrent, const QString& sessionPath);
    // A new torrent: its creation date (now, once), the mount point of its download folder, its folder
    // with "torrent" and "torrent.plist" (its state file follows once it starts, off the main thread;
    // a torrent with no piece needs no bitfield file). False when the folder cannot be written; `error`
    // says why.
    bool writeStorageInformation(TorrentLine& torrent, QString* error = nullptr);
    // A torrent whose session folder could not be written when it was added has it written now.
    bool writeMissingSessionFolder(TorrentLine& torrent) override;
    // A file of the torrent's session folder could not be written: the torrent pauses and shows why.
    static void reportWriteFailure(TorrentLine& torrent, const QString& error);
    void writeTorrentPlist(TorrentLine& torrent);
    // The torrent's state file, written off the main thread once the bytes differ from the stored ones;
    // a failed write pauses the torrent with the reason.
    void writeStatePlist(TorrentLine& torrent) override;
    // Quit: the queued disk work, then every torrent's state file and bitfields whose bytes changed, all
    // sharing their syncs; returns once they are on disk.
    void saveAll(const TorrentLineList& torrents);
    void checkExistingFiles(TorrentLine& torrent) override;

    void downloadTorrentLines(const TorrentLineList& lines, bool askForFolder = false) override;
    void prepareStorage(TorrentLine& torrent) override;
    void purgeCachedDescriptors(TorrentLine& torrent) override;
    void relocateOnCompletion(TorrentLine& torrent, std::function<void()> done) override;
    // Moves an unfinished torrent's content into `folder` and marks it to move to the download folder when
    // it completes. The torrent writes nothing meanwhile: paused, its queued disk work done first, its
    // state given back after. A rename when both lie on one disk, else a copy off the main thread then a
    // rename; a place already taken is never replaced. `done` gets the error, empty on success; a torrent
    // already moving, halted, or whose stored data is not where it says is refused.
    void relocate(TorrentLine& torrent, const QString& folder, std::function<void(const QString& error)> done);
    bool isRelocating(const TorrentLine& torrent) const { return m_relocations.contains(&torrent); }
    // rename(2) that fails with EEXIST instead of replacing what is at `to`.
    static bool renameNoReplace(const QString& from, const QString& to);
    void torrentRemoved(TorrentLine& torrent, bool wasComplete) override;
    // Info hashes of the session folders listed at start and not loaded yet: such a torrent added
    // meanwhile would be listed twice.
    void setWaitingToLoad(QSet<QByteArray> infoHashes) { m_waitingToLoad = std::move(infoHashes); }
    void doneLoading(const QByteArray& infoHash) { m_waitingToLoad.remove(infoHash); }
    bool isWaitingToLoad(const QByteArray& infoHash) const { return m_waitingToLoad.contains(infoHash); }
    bool isPathOnUnattachedVolume(const QString& path) const override;
    bool isOnUnattachedVolume(const TorrentLine& torrent) const override;
    std::function<bool(const QString& path)> detachedTest(const TorrentLine& torrent) const override;
    QString volumeName(const QString& path) const override;

    // Receives work handed back to the main thread; gone with this lifecycle.
    QObject* context() { return &m_mainThread; }

    // Clean-up after removal (trash, session folders) runs here, off the main thread.
    static SerialQueue& cleanupQueue();

private:
    SessionRecord recordOf(const TorrentLine& torrent) const;
    // The mount a folder would be recorded on now: the one it lies on, or a deeper known one that is away.
    QString mountPointToRecord(const QString& folder) const;
    // The torrent's own record; one stored without a record is judged as a torrent added there now.
    QString mountPointOf(const TorrentLine& torrent) const;
    void rememberMountPoint(const TorrentLine& torrent);
    // A finished torrent whose download folder is on a disk that is away stays where it is, halted until
    // that disk is back.
    void haltUntilDiskReturns(TorrentLine& torrent, const QString& folder, std::function<void()> done);
    // Copies the content to the other disk on the clean-up queue, then moves the torrent over.
    void relocateAcrossDisks(TorrentLine& torrent, const QString& from, const QString& to);
    void copiedAcrossDisks(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak, const QString& from,
                           const QString& to, const QByteArray& blocksWhenStarted, bool copied, const QString& error);
    // Moves run one after the other, each from its own pass of the loop, so that many moves never hold
    // the main thread for long at once.
    void startNextMove();
    // The torrent's queued disk work is done: its content moves.
    void moveDrained(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak, const QString& folder);
    // The content is at `folder` now: the torrent's paths, its record and a store over the new files.
    void settleInFolder(TorrentLine& torrent, const QString& folder, bool relocateOnCompletion = false);
    void finishRelocation(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak, const QString& error = {});
    bool isRelocating(const TorrentLine* key, const std::weak_ptr<TorrentLine>& weak) const;

    VolumeMonitor& m_volumes;
    QHash<const TorrentLine*, QString> m_sessionPaths;
    QSet<const TorrentLine*> m_unwrittenFolders;  // added while their session folder could not be written
    QSet<QByteArray> m_waitingToLoad;
    QSet<QString> m_knownMountPoints;  // mount points recorded for download folders, cleaned
    // Finished torrents halted until their download folder's disk is back: what waits for their move.
    QHash<const TorrentLine*, std::function<void()>> m_awaitedMoves;
    // Torrents whose content is being copied to another disk, with what waits for the end of it.
    struct Relocation
    {
        std::weak_ptr<TorrentLine> torrent;
        std::function<void(const QString& error)> done;
        int restoreState = -1;      // the state given back after a move of an unfinished torrent
        bool toIncomplete = false;  // it keeps its mark to move on completion
    };
    QHash<const TorrentLine*, Relocation> m_relocations;
    struct QueuedMove
    {
        const TorrentLine* key;
        std::weak_ptr<TorrentLine> torrent;
        QString folder;
    };
    QList<QueuedMove> m_moveQueue;
    const TorrentLine* m_currentMove = nullptr;  // the move between its start and its end
    QObject m_mainThread;  // receives the copy's outcome and failed writes; gone with this lifecycle
    std::atomic<bool> m_quitting{false};  // stops a copy under way
};

}  // namespace ombrelay
