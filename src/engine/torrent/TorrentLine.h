#pragma once

#include "engine/core/EngineHost.h"
#include "engine/net/AverageBandwidth.h"
#include "engine/net/BandwidthProvision.h"
#include "engine/storage/PieceGeometry.h"
#include "engine/torrent/DhtNodeAddress.h"
#include "engine/torrent/OBLine.h"
#include "engine/torrent/PZIndexSet.h"
#include "kit/PZByteSize.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace ombrelay {

class FileLine;
class PieceStore;
class TorrentStorage;
struct Metainfo;

// One torrent: the root line of its file tree, built from a metainfo file or bytes. The same class serves
// a torrent in the downloads list (the live torrent), a search result and, through a subclass, a feed
// entry; the live torrent of any line is the one in the downloads list with the same info hash.
// Lines are shared (TorrentLinePtr): the downloads list, the search results and the feeds may hold the
// same line. Main thread only, except the geometry and sets the storage thread reads.
class TorrentLine : public QObject, public OBLine, public std::enable_shared_from_this<TorrentLine>
{
    Q_OBJECT
public:
    enum DownloadState { None = 0, Downloading = 1, Paused = 2, Waiting = 3, Complete = 4, Halted = 5 };
    static constexpr int kOneMinuteTimerInterval = 65000;  // ms
    // Test seam: the pruning timer's interval for torrents started afterwards (a driver that runs the
    // connection manager's clock faster shortens it as much).
    static void setOneMinuteTimerInterval(int ms);

    TorrentLine();
    ~TorrentLine() override;
    using OBLine::children;  // the file tree; the QObject children are only the torrent's timers

    // Metainfo. The constructors give none for a refused metainfo (or a missing file).
    static TorrentLinePtr torrentLineForPath(const QString& path);
    static TorrentLinePtr torrentLineForData(const QByteArray& data);
    // A line from a metainfo already read (and checked), as decoding off the main thread gives it.
    static TorrentLinePtr torrentLineForMetainfo(Metainfo metainfo);
    virtual bool setTorrentPath(const QString& path);
    virtual bool setTorrentData(const QByteArray& data);
    virtual QByteArray torrentData() const { return m_torrentData; }
    void dropTorrentData() { m_torrentData.clear(); }

    QString torrentPath() const { return m_torrentPath; }
    QByteArray infoHash() const { return m_infoHash; }
    void setInfoHash(const QByteArray& infoHash) { m_infoHash = infoHash; }
    QByteArray piecesData() const { return m_piecesData; }
    const PieceGeometry& geometry() const { return m_geometry; }
    quint64 pieceLength() const { return quint64(m_geometry.pieceLength()); }
    quint64 numberOfBlocksPerPiece() const { return m_geometry.blocksPerPiece(); }
    quint64 totalLength() const { return byteRange().length; }
    quint32 remoteTorrentSize() const { return m_remoteTorrentSize; }
    void setRemoteTorrentSize(quint32 size) { m_remoteTorrentSize = size; }

    // The folder the content goes into; the torrent's full path is that folder joined with its name.
    QString downloadPath() const { return m_downloadPath; }
    void setDownloadPath(const QString& folder);
    bool shouldRelocateOnCompletion() const { return m_shouldRelocateOnCompletion; }
    void setShouldRelocateOnCompletion(bool relocate) { m_shouldRelocateOnCompletion = relocate; }
    QDateTime creationDate() const { return m_creationDate; }
    void setCreationDate(const QDateTime& date) { m_creationDate = date; }
    bool isDeserializing() const { return m_isDeserializing; }
    void setIsDeserializing(bool deserializing) { m_isDeserializing = deserializing; }

    // All file lines in metainfo order; empty for a single-file torrent.
    const QList<FileLine*>& files() const { return m_files; }
    QList<OBLine*> childrenFlat() const override;
    int checkboxState() const override { return NoCheckbox; }
    void setCheckboxState(int) override {}

    // Identity and trackers.
    QString escapedInfoHash() const;     // letters and digits as they are, every other byte "%XX"
    QByteArray obfuscatedInfoHash() const;  // SHA-1 of "req2" + info hash
    static bool isValidTracker(const QString& address);
    QStringList trackerListHTTP() const { return m_trackerListHTTP; }
    QStringList trackerListUDP() const { return m_trackerListUDP; }
    QUrl announceURL() const;
    QString trackerAddress() const { return announceURL().host(); }
    void handleAnnounceError();
    void scrapeTracker();
    void rescrapeTracker();
    bool hasScraped() const { return m_hasScraped; }
    void setHasScraped(bool scraped) { m_hasScraped = scraped; }
    // Nodes named by the metainfo; handed to the DHT when the torrent starts, never while merely read.
    QList<DhtNodeAddress> dhtNodes() const { return m_dhtNodes; }
    // Whether some file (or the single file) is music, or video; analysed once, on the first question.
    bool hasAudio() const;
    bool hasVideo() const;

    // Geometry and sets.
    quint64 totalNumberOfPieces() const { return m_geometry.pieceCount(); }
    quint64 totalNumberOfBlocks() const { return m_geometry.blockCount(); }
    // The blocks or pieces overlapping a byte range, as a run of numbers (location, count) or as a set.
    PZRange blockRangeForByteRange(PZRange range) const;
    PZRange pieceRangeForByteRange(PZRange range) const;
    PZIndexSet blocksForByteRange(PZRange range) const;
    PZIndexSet piecesForByteRange(PZRange range) const;
    quint64 totalSize() const;  // bytes of the wanted files
    PZIndexSet& neededPieces() { return m_neededPieces; }
    PZIndexSet& neededBlocks() { return m_neededBlocks; }
    PZIndexSet& downloadedBlocks() { return m_downloadedBlocks; }
    PZIndexSet& exportedIndices() { return m_exportedIndices; }
    const PZIndexSet& downloadedBlocks() const { return m_downloadedBlocks; }
    const PZIndexSet& exportedIndices() const { return m_exportedIndices; }
    // Stored blocks and verified pieces: the piece store's once the torrent has one. The writable sets
    // are what a torrent without a store recorded (loading, memory-only torrents); the store starts
    // from them.
    const PZIndexSet& storedBlocks() const;
    const PZIndexSet& downloadedPieces() const;
    PZIndexSet& recordedStoredBlocks();
    PZIndexSet& recordedDownloadedPieces();
    bool hasDownloadedAllBlocksForFile(const FileLine& file) const;
    bool hasDownloadedAllNeededPieces() const;
    // Some piece verified and every wanted one: the content is complete, whatever state the torrent is in.
    bool holdsEveryWantedPiece() const;
    // Recomputes the wanted pieces and blocks, `downloaded` and the requested amount; completes the
    // torrent when every wanted piece is verified, and resumes a complete one that needs pieces again.
    void updateNeededPieces();
    quint64 downloaded() const { return m_downloaded; }
    void setDownloaded(quint64 bytes) { m_downloaded = bytes; }
    quint64 bytesOfBlocks(const PZIndexSet& blocks) const;
    int numberOfActiveFiles() const;
    bool hasDisabledFiles() const;

    // Storage on disk: set by the lifecycle when the torrent starts, dropped when it is removed.
    TorrentStorage* storage() const { return m_storage.get(); }
    PieceStore* pieceStore() const;
    void setStorage(std::unique_ptr<TorrentStorage> storage);
    void dropStorage();
    // Mount point of the download folder when the torrent was added; empty: not recorded.
    QString downloadMountPoint() const { return m_downloadMountPoint; }
    void setDownloadMountPoint(const QString& mountPoint) { m_downloadMountPoint = mountPoint; }
    // Mount point of the disk a finished torrent waits for, halted, to move into its download folder;
    // empty when it waits for none.
    QString awaitedMountPoint() const { return m_awaitedMountPoint; }
    void setAwaitedMountPoint(const QString& mountPoint) { m_awaitedMountPoint = mountPoint; }
    // The name of the disk a halted torrent waits for: the one it moves to, else that of its recorded
    // mount point.
    QString downloadVolumeName() const;
    // Why the torrent paused itself (a write that keeps failing, a file of someone else's); cleared when
    // it resumes. Stored with its state.
    QString errorText() const { return m_errorText; }
    void pauseWithError(const QString& error);
    void restoreErrorText(const QString& error) { m_errorText = error; }

    // Files that were on disk before the torrent are checked before anything is written over them. Until
    // that check passes the torrent stays paused, and stateAfterCheck() is the state it goes to then
    // (None: nothing to check). Stored with its state, so a check cut short runs again.
    int stateAfterCheck() const { return m_stateAfterCheck; }
    void setStateAfterCheck(int state) { m_stateAfterCheck = state; }
    // Parked for the check, which has not refused its files.
    bool isCheckingFiles() const { return isPaused() && m_stateAfterCheck != None && m_errorText.isEmpty(); }
    // The check ended: refused with the reason (the torrent stays paused and checks again when resumed),
    // or on to its state (waiting for the download queue's room, or downloading).
    void existingFilesChecked(const QString& refusal);

    // The state file is rewritten once on the next pass of the event loop.
    void statePlistNeedsUpdate();
    void writeStatePlist();

    // States.
    int downloadState() const { return m_downloadState; }
    void setDownloadState(int state);
    // Sets the state without redraws or a state-file write (loading a session folder).
    void restoreDownloadState(int state) { m_downloadState = state; }
    int resumeState() const { return m_resumeState; }
    void setResumeState(int state) { m_resumeState = state; }
    void beginDownloadWithState(int state);
    void pauseDownload();
    void retryDownload();
    // Every wanted piece was just verified: relocation, notices, media hand-over, the completed state,
    // the tracker's "completed" event and the download queue. Only on that transition.
    void didComplete();
    void enterCompletedState();
    void willRemoveFromTable();
    virtual void performAction();

    bool isComplete() const override { return m_downloadState == Complete; }
    bool isPaused() const { return m_downloadState == Paused; }
    bool isWaiting() const { return m_downloadState == Waiting; }
    bool isHalted() const { return m_downloadState == Halted; }
    // Complete, halted to come back complete, or holding every wanted piece in whatever state an error or a
    // pause left it: its data is whole, wherever it waits.
    bool hasCompleteData() const
    {
        return isComplete() || (isHalted() && m_resumeState == Complete) || holdsEveryWantedPiece();
    }
    bool shouldSeed() const;
    bool isSeeding() const { return isComplete() && shouldSeed(); }
    bool isActive() const;
    TorrentLinePtr btDownload() const;
    bool isDownloading() const { return btDownload() != nullptr; }
    bool isInitializing() const;
    bool canPause() const { return !isPaused() && !isWaiting() && !isComplete() && !isHalted(); }
    bool canResume() const { return isPaused() && !isComplete(); }
    bool hasStoppedSeeding() const { return m_hasStoppedSeeding; }
    void setHasStoppedSeeding(bool stopped) { m_hasStoppedSeeding = stopped; }
    bool isTimerRunning() const;

    // Values, recomputed every second by invalidateValues().
    void invalidateValues();
    float fractionLoaded() const override;
    double timeRemaining() const { return m_timeRemaining; }  // seconds, -1 unknown
    float progressSortValue() const { return fractionLoaded(); }
    const PZByteSize& amountRequested() const { return m_amountRequested; }
    const PZByteSize& amountDownloaded() const { return m_amountDownloaded; }
    const PZByteSize& amountUploaded() const { return m_amountUploaded; }
    quint64 bytesUploaded() const { return m_bytesUploaded; }
    void setBytesUploaded(quint64 bytes) { m_bytesUploaded = bytes; }
    // Rate meters: the peers record bytes; invalidateValues() recomputes the rates once a second.
    AverageBandwidth& downloadBandwidth() { return m_downloadBandwidth; }
    AverageBandwidth& uploadBandwidth() { return m_uploadBandwidth; }
    float downloadRate() const { return m_downloadBandwidth.bandwidth(); }  // bytes per second
    float uploadRate() const { return m_uploadBandwidth.bandwidth(); }

    // Per-torrent limits in kB/s: 0 the global limit applies, -1 no limit, n > 0 n x 1000 B/s. Both
    // budgets exist from the line's creation (disabled until a limit is set) and go with the line.
    BandwidthProvision& downloadProvision() { return m_downloadProvision; }
    BandwidthProvision& uploadProvision() { return m_uploadProvision; }
    int customDownloadLimit() const { return m_customDownloadLimit; }
    int customUploadLimit() const { return m_customUploadLimit; }
    void setCustomDownloadLimit(int limit);
    void setCustomUploadLimit(int limit);

    // Bound texts, keyed "activityText", "downloadsText", "uploadsText", "downloadsRateText",
    // "uploadsRateText"; bindingTextChanged(key) tells observers.
    void invalidateBindingsText();
    QString activityText() const { return m_activityText; }
    QString downloadsText() const { return m_downloadsText; }
    QString uploadsText() const { return m_uploadsText; }
    QString downloadsRateText() const { return m_downloadsRateText; }
    QString uploadsRateText() const { return m_uploadsRateText; }
    QString stateDescription() const;
    static QString peersString(int activeSeeds, int otherActivePeers);

    int compareTransferColumn(const OBLine& other) const override;
    int compareProgressColumn(const OBLine& other) const override;
    int compareTimeColumn(const OBLine& other) const override;

    // The names the filter field searches: the torrent's name, then every line under it, depth first.
    QStringList flatPathList() const;
    QString pathListString() const;

signals:
    void bindingTextChanged(const QString& key);

protected:
    // The torrent of a file already read and decoded elsewhere (off the main thread).
    bool adoptTorrentFile(const QString& path, Metainfo metainfo);

private:
    bool applyMetainfo(Metainfo metainfo);
    // The first and last unit (block or piece) overlapping a byte range, as a run of unit numbers.
    void setBindingText(QString& field, const QString& key, const QString& text);
    void refreshViews();
    // The rest of didComplete, once the content is in its final place.
    void announceCompletion();
    // The completed state without a move: peers dropped unless seeding, the badge redrawn.
    void settleAsComplete();
    void handOverCompletedFiles();

    // Metainfo.
    bool m_isDeserializing = false;
    QString m_torrentPath;
    QString m_downloadPath;
    bool m_shouldRelocateOnCompletion = false;
    QString m_downloadMountPoint;
    QString m_awaitedMountPoint;
    QDateTime m_creationDate;
    QByteArray m_infoHash;
    quint32 m_remoteTorrentSize = 0;
    QByteArray m_torrentData;
    QByteArray m_piecesData;
    PieceGeometry m_geometry;
    QStringList m_trackerListHTTP;
    QStringList m_trackerListUDP;
    QList<FileLine*> m_files;
    bool m_hasScraped = false;
    QList<DhtNodeAddress> m_dhtNodes;
    mutable QString m_pathListString;
    mutable bool m_hasAnalyzedChildren = false;
    mutable bool m_hasAudio = false;
    mutable bool m_hasVideo = false;

    // Values and texts.
    quint64 m_downloaded = 0;
    PZByteSize m_amountRequested;
    PZByteSize m_amountDownloaded;
    PZByteSize m_amountUploaded;
    QString m_activityText;
    QString m_downloadsText;
    QString m_uploadsText;
    QString m_downloadsRateText;
    QString m_uploadsRateText;
    double m_timeRemaining = -1;
    AverageBandwidth m_downloadBandwidth;
    AverageBandwidth m_uploadBandwidth;
    BandwidthProvision m_downloadProvision;
    BandwidthProvision m_uploadProvision;
    int m_customDownloadLimit = 0;
    int m_customUploadLimit = 0;

    // State.
    int m_downloadState = None;
    int m_resumeState = None;
    PZIndexSet m_neededPieces;
    PZIndexSet m_neededBlocks;
    PZIndexSet m_downloadedBlocks;
    PZIndexSet m_storedBlocks;
    PZIndexSet m_downloadedPieces;
    PZIndexSet m_exportedIndices;
    quint64 m_bytesUploaded = 0;
    bool m_hasStoppedSeeding = false;
    QString m_errorText;
    int m_stateAfterCheck = None;
    std::unique_ptr<TorrentStorage> m_storage;
};

}  // namespace ombrelay
