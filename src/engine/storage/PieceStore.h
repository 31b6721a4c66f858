#pragma once

#include "engine/storage/PieceDigests.h"
#include "engine/storage/PieceGeometry.h"
#include "engine/storage/WriteBacklog.h"
#include "engine/torrent/PZIndexSet.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace ombrelay {

class MappedFileHasher;
class SerialQueue;

// A file of a torrent on disk: its absolute path and where its bytes lie in the torrent. Bytes that lie in
// no file (padding) are zeros, never written.
struct StorageFile
{
    QString path;
    qint64 offset = 0;
    qint64 length = 0;
    bool wanted = true;
    PieceGeometry::Span span() const { return {offset, length}; }
};

// Writes a torrent's received blocks into its files on the store queue, checks each completed piece's
// SHA-1 on a hash queue (beside the writes that follow) from the blocks as they were written, or read
// back from the files when they were not written in one pass, syncs matched pieces on the
// sync queue (beside the writes too), and reads spans back for peers on the read queue. Verdicts reach the main thread as
// signals; the queues never wait for the main thread.
//
// A piece counts as verified only after its files were synced to disk. Nothing written to the store can
// land outside the torrent's own files or over a verified piece.
class PieceStore : public QObject
{
    Q_OBJECT
public:
    using ReadCallback = std::function<void(std::optional<QByteArray>)>;
    // Whether a path lies on a volume that is not mounted now (no file may be created there).
    using DetachedTest = std::function<bool(const QString& path)>;

    PieceStore(const PieceGeometry& geometry, QVector<StorageFile> files, QByteArray pieceHashes,
               QObject* parent = nullptr);
    ~PieceStore() override;  // drops this store's queued work and waits for a running job

    const PieceGeometry& geometry() const { return m_geometry; }
    const QVector<StorageFile>& files() const { return m_files; }

    // Restores what the session folder recorded. Call before any block is stored.
    void restore(const PZIndexSet& storedBlocks, const PZIndexSet& verifiedPieces);
    void setDetachedTest(DetachedTest test) { m_isDetached = std::move(test); }
    // Where "downloadedBlocks.bitfield" and "downloadedPieces.bitfield" are kept; empty: not kept.
    void setBitfieldFolder(const QString& folder);

    // Main thread. Queues the write of one received block; false (and nothing queued) when the block is
    // not exactly a block of this torrent or its piece is already verified.
    bool storeBlock(quint32 piece, quint32 offset, const QByteArray& data);
    // Main thread. Reads a span of a verified piece on the read queue; the callback runs on the main
    // thread with the bytes, or with nothing when the span is refused or the data is gone.
    void readSpan(quint32 piece, quint32 offset, quint32 length, ReadCallback done);
    // Creates the wanted files of length zero (no block ever writes them).
    void createEmptyFiles();
    // Checks every piece whose files already hold data; emits existingDataChecked with the pieces that
    // verify, once the bitfield files naming them are handed to the state-file writer. Used when a
    // torrent is added over files that exist, and to re-check a torrent. The check runs in steps of
    // about kExistingDataStepMs, each at the back of the store queue, so other torrents' writes pass.
    void checkExistingData();
    bool isCheckingExistingData() const { return m_existingDataChecks > 0; }
    // Saving the session (a quit, the end of a desktop session): a check under way stops after its
    // current piece, so that waiting for the queues does not wait for it. resumeExistingDataCheck, once
    // the queues are drained, lets it go on where it stopped (at a quit nothing is left to run it).
    void stopExistingDataCheck();
    void resumeExistingDataCheck();
    // The pieces the torrent wants now (all until told). Blocks of the others wait for no gap in their
    // piece's digest: those waiting go, and such a piece is read back should it complete.
    void setWantedPieces(const PZIndexSet& wanted);
    // Forgets pieces (their blocks too), e.g. after a failed read; the bitfield files follow.
    void forgetPieces(const QVector<quint32>& pieces);
    // Posts the write of the blocks received in this pass of the event loop now, ahead of any store-queue
    // job posted next (they would otherwise leave at the end of the pass).
    void postReceivedBlocks();
    // Hands the bitfield files to the state-file writer now (pause, quit): the blocks written so far and
    // the pieces verified, each file left out when its set is empty (a missing file reads as empty).
    // Written while the torrent runs too, a second after a change, however many writes wait.
    void saveBitfields();
    // Drops queued writes and waits for a running one (removal).
    void cancelQueuedWork();
    // Closes this torrent's cached file descriptors (pause, relocation, removal, volume changes).
    void purgeCachedDescriptors();

    // Main-thread views, updated as verdicts arrive.
    const PZIndexSet& verifiedPieces() const { return m_verifiedPieces; }
    const PZIndexSet& storedBlocks() const { return m_storedBlocks; }  // thread-safe set

    static constexpr int kHashQueueCount = 2;
    static constexpr int kExistingDataStepMs = 100;

    static SerialQueue& storeQueue();
    // Where matched pieces' files are synced, beside the writes that follow.
    static SerialQueue& syncQueue();
    static SerialQueue& readQueue();
    // The hash queue that checks `piece`; a few run side by side.
    static SerialQueue& hashQueue(quint32 piece);
    // Returns once every block handed over and every write, check and sync queued before the call has run,
    // and every bitfield file asked for is written (main thread, never from a queue job).
    static void drainQueues();
    // Test seam for a slow disk: every block write takes at least its share of a second at this many
    // bytes per second before its bytes land (0: no wait).
    static void setWriteRateLimit(qint64 bytesPerSecond);

signals:
    void pieceVerified(quint32 piece);
    // The piece's data did not match; its blocks were forgotten and must be downloaded again.
    void pieceFailed(quint32 piece);
    // A block could not be written, or a checked piece synced (it is forgotten). `detached` when its
    // volume is gone.
    void writeFailed(quint64 block, const QString& error, bool detached);
    // Pieces forgotten because their file was deleted or came up short.
    void piecesLost(const QVector<quint32>& pieces);
    void existingDataChecked(const PZIndexSet& verified);
    // The bitfield files could not be written.
    void bitfieldWriteFailed(const QString& error);

private:
    struct QueueState;
    // A received block waiting for its write; its bytes count in the write backlog meanwhile.
    struct QueuedBlock
    {
        quint64 index;
        QByteArray data;
        std::shared_ptr<WriteBacklog::Entry> queued;
    };
    // A piece whose bytes matched (by check `ticket`) and the files it wrote into.
    struct MatchedPiece
    {
        quint32 piece;
        quint64 ticket;
        std::set<int> files;
    };
    // Main thread: posts a store job behind the blocks handed over so far.
    void postStoreJob(std::function<void()> job);
    void writeBlocksOnQueue(std::vector<QueuedBlock> blocks);
    void writeRunOnQueue(const QueuedBlock* run, size_t count);
    void writeBlockOnQueue(quint64 block, const QByteArray& data);
    // Store queue: hands blocks just written to their pieces' digests on the hash queues.
    void digestOnHashQueues(const QueuedBlock* blocks, size_t count);
    // Thread-safe: reads the piece back from the files; nothing when they do not hold it whole.
    std::optional<bool> pieceMatches(quint32 piece, MappedFileHasher& files) const;
    // Has a piece whose blocks are all stored hashed on the hash queue.
    void checkPieceOnQueue(quint32 piece);
    // The verdict of check `ticket`, unless the piece was forgotten or checked again since: forgotten
    // when it does not match (lost when it could not be read), else left for the next sync of the files.
    void pieceCheckedOnQueue(quint32 piece, quint64 ticket, std::optional<bool> matches);
    // Drops this store's queued store and hash jobs and waits for running ones.
    void cancelStoreAndHashJobs();
    struct ExistingDataCheck;
    // Store queue: one step of the check of existing data, then the next one queued, or the verdict.
    void checkExistingDataOnQueue(const std::shared_ptr<ExistingDataCheck>& check);
    // A file after the sync of matched pieces: its size on disk, or why their bytes may not be there.
    struct SyncedFile
    {
        qint64 size = -1;  // -1: missing or not synced
        QString error;
        bool detached = false;
    };
    // Sync queue: syncs the files of the matched pieces, batch after batch, until none waits. A file
    // that is gone is never made again here.
    void syncMatchedPiecesOnQueue();
    SyncedFile syncOnQueue(const StorageFile& file) const;
    void piecesSyncedOnQueue(const std::vector<MatchedPiece>& matched, const std::map<int, SyncedFile>& files);
    // Store queue: file i found `size` bytes long. When that is shorter than what was written into it,
    // answers the pieces with a stored block past its end (each once), to be lost.
    QVector<quint32> cutShortOnQueue(int i, qint64 size);
    // The same for file i as it stands on disk (a missing one counts as empty; `present` says which);
    // nothing while its disk is detached, which brings it back whole.
    std::optional<QVector<quint32>> cutShortOnDiskOnQueue(int i, bool* present = nullptr);
    static QString cutShortText(const StorageFile& file);
    static QString goneText(const StorageFile& file);
    // Reads a span from the files; nothing when one of them is gone, is not the file written, or is too
    // short to hold its part (`failedFile` names it).
    std::optional<QByteArray> readOnQueue(PieceGeometry::Span span, int* failedFile) const;
    // Store queue: file i could not give the bytes of `piece` asked for. A file cut short or deleted loses
    // every piece past its end and stops the torrent with the reason, as at a write; one whose disk is
    // detached loses nothing. Otherwise only that piece is lost.
    void readFailedOnQueue(int i, quint32 piece);
    void forgetPiecesOnQueue(const QVector<quint32>& pieces);
    // Forgets pieces whose data vanished and tells the main thread.
    void losePiecesOnQueue(const QVector<quint32>& pieces);
    void markPieceBlocks(quint32 piece, bool stored);
    bool allBlocksStored(quint32 piece) const;
    bool hasStoredBlocks(const StorageFile& file) const;
    void scheduleBitfieldWrite();

    PieceGeometry m_geometry;
    QVector<StorageFile> m_files;
    QByteArray m_pieceHashes;
    DetachedTest m_isDetached;
    QString m_bitfieldFolder;
    PZIndexSet m_storedBlocks;    // written on the store queue
    PZIndexSet m_verifiedPieces;  // main thread
    std::shared_ptr<QueueState> m_queueState;  // touched only by store-queue jobs
    std::vector<QueuedBlock> m_receivedBlocks;  // main thread: not yet posted to the store queue
    bool m_receivedBlocksPostScheduled = false;
    bool m_bitfieldWritePending = false;
    int m_existingDataChecks = 0;  // main thread: checks asked for whose verdict has not come
    std::shared_ptr<ExistingDataCheck> m_existingDataCheck;  // the latest one, until its verdict
    // The digests of pieces being written; each touched only by the jobs of its hash queue.
    std::array<PieceDigests, kHashQueueCount> m_digests;
};

}  // namespace ombrelay
