#include "engine/storage/PieceStore.h"

#include "engine/storage/FileHandleCache.h"
#include "engine/storage/MappedFileHasher.h"
#include "engine/storage/PieceDigests.h"
#include "engine/storage/StateFileWriter.h"
#include "engine/storage/WriteBacklog.h"
#include "kit/PZCrypto.h"
#include "kit/SerialQueue.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unordered_map>

namespace ombrelay {

namespace {

constexpr int kBitfieldWriteDelayMs = 1000;
std::atomic<qint64> writeRateLimit{0};

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fileExists(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace

// What only the store queue's jobs touch: the pieces verified and synced, the pieces wanted, the files
// each piece in progress wrote into, the check in progress of each piece being hashed, and the pieces
// whose bytes matched and wait for a sync of their files. The sync queue takes matched pieces under the
// lock.
struct PieceStore::QueueState
{
    QueueState(quint32 pieces, qsizetype files)
        : synced(pieces), wanted(PZIndexSet::filledSetWithLength(pieces)), writtenEnd(size_t(files), 0)
    {
    }
    PZIndexSet synced;
    PZIndexSet wanted;
    // Per file, how far from its start it holds our data at least; a file found shorter was cut.
    std::vector<qint64> writtenEnd;
    std::unordered_map<quint32, std::set<int>> touchedFiles;
    std::unordered_map<quint32, quint64> checks;  // piece -> ticket of its latest check
    quint64 nextTicket = 1;
    // piece -> ticket of the check that matched; a piece forgotten meanwhile leaves it and is not verified
    std::unordered_map<quint32, quint64> awaitingSync;

    std::mutex syncLock;
    std::vector<MatchedPiece> matched;  // under syncLock
    bool syncPosted = false;       // under syncLock

    std::atomic<bool> existingDataCheckStopped{false};  // set by the main thread while it saves
};

// A check of existing data between its steps: the next piece to look at and the pieces found so far.
struct PieceStore::ExistingDataCheck
{
    explicit ExistingDataCheck(quint32 pieces) : found(pieces) {}
    quint32 next = 0;
    PZIndexSet found;
};

namespace {

// Stores whose received blocks may wait for the end of the event loop's pass (main thread).
std::set<PieceStore*>& liveStores()
{
    static std::set<PieceStore*> stores;
    return stores;
}

}  // namespace

PieceStore::PieceStore(const PieceGeometry& geometry, QVector<StorageFile> files, QByteArray pieceHashes,
                       QObject* parent)
    : QObject(parent),
      m_geometry(geometry),
      m_files(std::move(files)),
      m_pieceHashes(std::move(pieceHashes)),
      m_isDetached([](const QString&) { return false; }),
      m_storedBlocks(geometry.blockCount()),
      m_verifiedPieces(geometry.pieceCount()),
      m_queueState(std::make_shared<QueueState>(geometry.pieceCount(), m_files.size()))
{
    Q_ASSERT(m_pieceHashes.size() == qsizetype(geometry.pieceCount()) * 20);
    WriteBacklog::instance();
    liveStores().insert(this);
}

PieceStore::~PieceStore()
{
    liveStores().erase(this);
    cancelQueuedWork();
}

SerialQueue& PieceStore::storeQueue()
{
    static SerialQueue queue(QStringLiteral("ombrelay-store"));
    return queue;
}

SerialQueue& PieceStore::syncQueue()
{
    static SerialQueue queue(QStringLiteral("ombrelay-sync"));
    return queue;
}

SerialQueue& PieceStore::readQueue()
{
    static SerialQueue queue(QStringLiteral("ombrelay-read"));
    return queue;
}

namespace {

constexpr int kHashQueues = PieceStore::kHashQueueCount;

SerialQueue* hashQueues()
{
    static SerialQueue queues[kHashQueues] = {SerialQueue(QStringLiteral("ombrelay-hash")),
                                              SerialQueue(QStringLiteral("ombrelay-hash"))};
    return queues;
}

}  // namespace

SerialQueue& PieceStore::hashQueue(quint32 piece)
{
    return hashQueues()[piece % kHashQueues];
}

void PieceStore::drainQueues()
{
    for (PieceStore* store : liveStores())
        store->postReceivedBlocks();
    // Writes post checks, checks post verdicts, verdicts post syncs, syncs post their outcome; nothing
    // later posts a check or a sync.
    storeQueue().drain();
    for (int i = 0; i < kHashQueues; ++i)
        hashQueues()[i].drain();
    storeQueue().drain();
    syncQueue().drain();
    storeQueue().drain();
    StateFileWriter::instance().drain();
}

void PieceStore::setWriteRateLimit(qint64 bytesPerSecond)
{
    writeRateLimit = std::max<qint64>(bytesPerSecond, 0);
}

void PieceStore::restore(const PZIndexSet& storedBlocks, const PZIndexSet& verifiedPieces)
{
    cancelStoreAndHashJobs();
    m_storedBlocks = PZIndexSet(m_geometry.blockCount());
    for (quint64 block : storedBlocks.indexArray())
        m_storedBlocks.addIndex(block);  // indexes beyond this torrent are refused
    m_verifiedPieces = PZIndexSet(m_geometry.pieceCount());
    for (quint64 piece : verifiedPieces.indexArray())
        if (piece < m_geometry.pieceCount() && allBlocksStored(quint32(piece)))
            m_verifiedPieces.addIndex(piece);
    m_queueState->synced = m_verifiedPieces;
    m_queueState->touchedFiles.clear();
    m_queueState->awaitingSync.clear();
    m_queueState->checks.clear();
    for (PieceDigests& digests : m_digests)
        digests.clear();  // no hash job runs now
    {
        std::lock_guard lock(m_queueState->syncLock);
        m_queueState->matched.clear();
        m_queueState->syncPosted = false;  // its job was cancelled above
    }
    // A file shorter than its stored blocks (cut short by a crash or by the user) loses the pieces over it.
    // A piece whose blocks were all stored but whose check a crash cut short is checked now.
    postStoreJob([this] {
        QVector<quint32> lost;
        for (int i = 0; i < m_files.size(); ++i) {
            const StorageFile& file = m_files[i];
            // Until its size is next seen, a file with stored blocks may hold data to its end.
            m_queueState->writtenEnd[size_t(i)] = hasStoredBlocks(file) ? file.length : 0;
            if (const std::optional<QVector<quint32>> cut = cutShortOnDiskOnQueue(i))
                lost += *cut;
        }
        if (!lost.isEmpty())
            losePiecesOnQueue(lost);
        for (quint32 piece = 0; piece < m_geometry.pieceCount(); ++piece) {
            if (m_queueState->synced.containsIndex(piece) || !allBlocksStored(piece))
                continue;
            for (int i = 0; i < m_files.size(); ++i)
                if (m_files[i].length > 0 && m_geometry.pieceSpan(piece).overlaps(m_files[i].span()))
                    m_queueState->touchedFiles[piece].insert(i);
            checkPieceOnQueue(piece);
        }
    });
}

void PieceStore::createEmptyFiles()
{
    postStoreJob([this] {
        for (const StorageFile& file : m_files) {
            if (file.length != 0 || !file.wanted || fileExists(file.path) || m_isDetached(file.path))
                continue;
            if (!FileHandleCache::writers().open(file.path))
                qWarning("*** Could not create %s: %s", qPrintable(file.path), qPrintable(errorText(errno)));
        }
    });
}

void PieceStore::setBitfieldFolder(const QString& folder)
{
    m_bitfieldFolder = folder;
}

bool PieceStore::storeBlock(quint32 piece, quint32 offset, const QByteArray& data)
{
    if (!m_geometry.isWholeBlock(piece, offset, data.size()) || m_verifiedPieces.containsIndex(piece))
        return false;
    m_receivedBlocks.push_back({m_geometry.blockIndex(piece, offset), data, WriteBacklog::enter(data.size())});
    // The blocks of one pass of the event loop (all a read from a peer brought) leave in one write job.
    if (!m_receivedBlocksPostScheduled) {
        m_receivedBlocksPostScheduled = true;
        QMetaObject::invokeMethod(this, [this] {
            m_receivedBlocksPostScheduled = false;
            postReceivedBlocks();
        }, Qt::QueuedConnection);
    }
    return true;
}

void PieceStore::postReceivedBlocks()
{
    if (m_receivedBlocks.empty())
        return;
    storeQueue().post(this, [this, blocks = std::move(m_receivedBlocks)]() mutable { writeBlocksOnQueue(std::move(blocks)); });
    m_receivedBlocks.clear();
}

void PieceStore::postStoreJob(std::function<void()> job)
{
    postReceivedBlocks();  // written first, as they came first
    storeQueue().post(this, std::move(job));
}

void PieceStore::writeBlocksOnQueue(std::vector<QueuedBlock> blocks)
{
    // Peers answer out of order; in order, runs of consecutive blocks go to the files in one vectored
    // write each.
    std::stable_sort(blocks.begin(), blocks.end(), [](const QueuedBlock& a, const QueuedBlock& b) { return a.index < b.index; });
    constexpr size_t kMaxRun = 256;
    for (size_t first = 0; first < blocks.size();) {
        size_t end = first + 1;
        while (end < blocks.size() && end - first < kMaxRun && blocks[end].index == blocks[end - 1].index + 1)
            ++end;
        writeRunOnQueue(blocks.data() + first, end - first);
        first = end;
    }
}

void PieceStore::writeRunOnQueue(const QueuedBlock* run, size_t count)
{
    QueueState& q = *m_queueState;
    const auto writable = [&](const QueuedBlock& b) {
        return !q.synced.containsIndex(m_geometry.pieceOfBlock(b.index)) && !m_storedBlocks.containsIndex(b.index);
    };
    // Anything out of the ordinary (a duplicate, a verified piece, a file to create or gone, an error)
    // takes the path of single blocks, which deals with each case.
    const bool plain = count > 1 && std::all_of(run, run + count, writable);
    const PieceGeometry::Span span{m_geometry.blockSpan(run[0].index).start,
                                   m_geometry.blockSpan(run[count - 1].index).end() - m_geometry.blockSpan(run[0].index).start};
    std::vector<std::pair<int, std::shared_ptr<OpenFile>>> handles;
    if (const qint64 rate = writeRateLimit.load(); plain && rate > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(span.length * 1'000'000 / rate));
    bool written = plain;
    for (int i = 0; written && i < m_files.size(); ++i) {
        const StorageFile& file = m_files[i];
        if (std::max(span.start, file.offset) >= std::min(span.end(), file.offset + file.length))
            continue;
        std::shared_ptr<OpenFile> handle = fileExists(file.path) ? FileHandleCache::writers().open(file.path) : nullptr;
        // A file shorter than what was written into it takes the single path, which deals with what it lost.
        written = handle != nullptr && handle->size() >= q.writtenEnd[size_t(i)];
        handles.emplace_back(i, std::move(handle));
    }
    for (const auto& [i, handle] : handles) {
        if (!written)
            break;
        const StorageFile& file = m_files[i];
        const qint64 start = std::max(span.start, file.offset);
        const qint64 end = std::min(span.end(), file.offset + file.length);
        std::vector<iovec> pieces;
        for (size_t k = 0; k < count; ++k) {
            const PieceGeometry::Span block = m_geometry.blockSpan(run[k].index);
            const qint64 from = std::max(block.start, start), to = std::min(block.end(), end);
            if (from < to)
                pieces.push_back({const_cast<char*>(run[k].data.constData()) + (from - block.start), size_t(to - from)});
        }
        written = handle->writeAt(std::move(pieces), start - file.offset);
        if (written)
            q.writtenEnd[size_t(i)] = std::max(q.writtenEnd[size_t(i)], end - file.offset);
    }
    if (!written) {
        for (size_t k = 0; k < count; ++k)
            writeBlockOnQueue(run[k].index, run[k].data);
        return;
    }
    std::vector<quint32> completed;
    for (size_t k = 0; k < count; ++k) {
        const quint64 block = run[k].index;
        const PieceGeometry::Span blockSpan = m_geometry.blockSpan(block);
        const quint32 piece = m_geometry.pieceOfBlock(block);
        for (const auto& [i, handle] : handles)
            if (blockSpan.overlaps(m_files[i].span()))
                q.touchedFiles[piece].insert(i);
        m_storedBlocks.addIndex(block);
        if (allBlocksStored(piece))
            completed.push_back(piece);
    }
    digestOnHashQueues(run, count);
    for (quint32 piece : completed)
        checkPieceOnQueue(piece);
}

void PieceStore::writeBlockOnQueue(quint64 block, const QByteArray& data)
{
    QueueState& q = *m_queueState;
    const quint32 piece = m_geometry.pieceOfBlock(block);
    if (q.synced.containsIndex(piece) || m_storedBlocks.containsIndex(block))
        return;  // a duplicate, or a piece already verified: never written over

    const PieceGeometry::Span span = m_geometry.blockSpan(block);
    if (const qint64 rate = writeRateLimit.load())
        std::this_thread::sleep_for(std::chrono::microseconds(data.size() * 1'000'000 / rate));
    const auto fail = [this, block](const QString& error, bool detached) {
        QMetaObject::invokeMethod(this, [this, block, error, detached] { emit writeFailed(block, error, detached); },
                                  Qt::QueuedConnection);
    };
    for (int i = 0; i < m_files.size(); ++i) {
        const StorageFile& file = m_files[i];
        const qint64 start = std::max(span.start, file.offset);
        const qint64 end = std::min(span.end(), file.offset + file.length);
        if (start >= end)
            continue;
        if (!fileExists(file.path)) {
            // Never create a file under the empty mount point of a detached disk.
            if (m_isDetached(file.path))
                return fail(tr("The disk of \"%1\" is not attached.").arg(file.path), true);
            // Deleted by the user: a descriptor we still hold points at the old file, and the pieces
            // over it are gone and come again.
            FileHandleCache::purgeEverywhere(file.path);
            if (hasStoredBlocks(file)) {
                const auto pieces = m_geometry.piecesOverlapping(file.span());
                QVector<quint32> lost;
                for (quint64 p = pieces.first; p <= pieces.last; ++p)
                    lost.append(quint32(p));
                losePiecesOnQueue(lost);
            }
            q.writtenEnd[size_t(i)] = 0;
        }
        const std::shared_ptr<OpenFile> handle = FileHandleCache::writers().open(file.path);
        if (!handle)
            return fail(errorText(errno), false);
        if (const qint64 size = handle->size(); size >= 0) {
            if (const QVector<quint32> lost = cutShortOnQueue(i, size); !lost.isEmpty()) {
                losePiecesOnQueue(lost);
                return fail(cutShortText(file), false);
            }
        }
        if (!handle->writeAt(data.constData() + (start - span.start), end - start, start - file.offset))
            return fail(errorText(errno), false);
        q.writtenEnd[size_t(i)] = std::max(q.writtenEnd[size_t(i)], end - file.offset);
        q.touchedFiles[piece].insert(i);
    }
    m_storedBlocks.addIndex(block);
    const QueuedBlock written{block, data, nullptr};
    digestOnHashQueues(&written, 1);

    if (allBlocksStored(piece))
        checkPieceOnQueue(piece);
}

void PieceStore::digestOnHashQueues(const QueuedBlock* blocks, size_t count)
{
    struct Written
    {
        quint32 piece;
        quint32 offset;
        QByteArray data;  // none: the piece is not wanted, and its digest is given up
    };
    std::vector<Written> byQueue[kHashQueues];
    for (size_t k = 0; k < count; ++k) {
        const quint32 piece = m_geometry.pieceOfBlock(blocks[k].index);
        const auto offset = quint32(m_geometry.blockSpan(blocks[k].index).start - m_geometry.pieceSpan(piece).start);
        const bool wanted = m_queueState->wanted.containsIndex(piece);
        byQueue[piece % kHashQueues].push_back({piece, offset, wanted ? blocks[k].data : QByteArray()});
    }
    for (int queue = 0; queue < kHashQueues; ++queue) {
        if (byQueue[queue].empty())
            continue;
        hashQueues()[queue].post(this, [this, queue, written = std::move(byQueue[queue])] {
            for (const Written& w : written) {
                if (w.data.isEmpty())
                    m_digests[queue].giveUp(w.piece);
                else
                    m_digests[queue].add(w.piece, w.offset, w.data);
            }
        });
    }
}

void PieceStore::checkPieceOnQueue(quint32 piece)
{
    QueueState& q = *m_queueState;
    const quint64 ticket = q.nextTicket++;
    q.checks[piece] = ticket;
    // A piece with every block stored is never written again until it is forgotten, which voids the ticket.
    hashQueue(piece).post(this, [this, piece, ticket] {
        // Its blocks were fed to the digest in one pass since it was last forgotten: no need to read it back.
        const auto digest = m_digests[piece % kHashQueues].take(piece, quint32(m_geometry.pieceSpan(piece).length));
        MappedFileHasher files;
        const std::optional<bool> matches =
            digest ? std::optional(*digest == m_pieceHashes.mid(qsizetype(piece) * 20, 20)) : pieceMatches(piece, files);
        // Verdicts never wait behind the write backlog: saved progress keeps up with the disk.
        storeQueue().postAhead(this, [this, piece, ticket, matches] { pieceCheckedOnQueue(piece, ticket, matches); });
    });
}

void PieceStore::pieceCheckedOnQueue(quint32 piece, quint64 ticket, std::optional<bool> matches)
{
    QueueState& q = *m_queueState;
    const auto check = q.checks.find(piece);
    if (check == q.checks.end() || check->second != ticket)
        return;
    q.checks.erase(check);
    if (!matches) {
        // Its data went from under it (a file deleted or cut short): no sender is to blame.
        q.touchedFiles.erase(piece);
        losePiecesOnQueue({piece});
        return;
    }
    if (!*matches) {
        q.touchedFiles.erase(piece);
        forgetPiecesOnQueue({piece});
        QMetaObject::invokeMethod(this, [this, piece] { emit pieceFailed(piece); }, Qt::QueuedConnection);
        return;
    }
    // The disk flushes on the sync queue while later blocks are written here; one sync serves every
    // piece that matched while the previous one ran.
    q.awaitingSync[piece] = ticket;
    std::lock_guard lock(q.syncLock);
    q.matched.push_back({piece, ticket, q.touchedFiles[piece]});
    if (!q.syncPosted) {
        q.syncPosted = true;
        syncQueue().post(this, [this] { syncMatchedPiecesOnQueue(); });
    }
}

std::optional<bool> PieceStore::pieceMatches(quint32 piece, MappedFileHasher& files) const
{
    const PieceGeometry::Span span = m_geometry.pieceSpan(piece);
    Sha1Hasher hasher;
    // Bytes of no file (padding between files, in file order) are zeros.
    static const QByteArray zeros(PieceGeometry::kBlockSize, '\0');
    const auto hashZeros = [&](qint64 length) {
        for (; length > 0; length -= zeros.size())
            hasher.update(zeros.constData(), size_t(std::min<qint64>(length, zeros.size())));
    };
    qint64 hashedTo = span.start;
    for (const StorageFile& file : m_files) {
        const qint64 start = std::max(span.start, file.offset);
        const qint64 end = std::min(span.end(), file.offset + file.length);
        if (start >= end)
            continue;
        hashZeros(start - hashedTo);
        auto handle = FileHandleCache::readers().open(file.path);
        if (!handle || !files.update(hasher, handle, start - file.offset, end - start))
            return std::nullopt;
        hashedTo = end;
    }
    hashZeros(span.end() - hashedTo);
    return hasher.finish() == m_pieceHashes.mid(qsizetype(piece) * 20, 20);
}

void PieceStore::syncMatchedPiecesOnQueue()
{
    QueueState& q = *m_queueState;
    for (;;) {
        std::vector<MatchedPiece> matched;
        {
            std::lock_guard lock(q.syncLock);
            matched.swap(q.matched);
            if (matched.empty()) {
                q.syncPosted = false;
                return;
            }
        }
        std::map<int, SyncedFile> files;
        for (const MatchedPiece& m : matched)
            for (int i : m.files)
                if (!files.count(i))
                    files.emplace(i, syncOnQueue(m_files[i]));
        storeQueue().postAhead(this, [this, matched = std::move(matched), files = std::move(files)] {
            piecesSyncedOnQueue(matched, files);
        });
    }
}

PieceStore::SyncedFile PieceStore::syncOnQueue(const StorageFile& file) const
{
    SyncedFile synced;
    // The file the piece was written into, or none: a deleted file is not made again, empty.
    const std::shared_ptr<OpenFile> handle = FileHandleCache::writers().openExisting(file.path);
    if (!handle) {
        synced.detached = m_isDetached(file.path);
        synced.error = synced.detached ? tr("The disk of \"%1\" is not attached.").arg(file.path)
                                       : goneText(file);
    } else if (!handle->syncData()) {
        synced.error = errorText(errno);
    } else {
        synced.size = handle->size();
    }
    return synced;
}

void PieceStore::piecesSyncedOnQueue(const std::vector<MatchedPiece>& matched, const std::map<int, SyncedFile>& files)
{
    QueueState& q = *m_queueState;
    // A piece counts only once its bytes are on the disk. One that may not be there is a write error,
    // not its peers' fault: it comes again once the torrent resumes.
    QVector<quint32> verified, failed;
    QString error;
    bool detached = false;
    const auto report = [&](const QString& text, bool onDetachedDisk) {
        if (error.isEmpty()) {
            error = text;
            detached = onDetachedDisk;
        }
    };
    std::set<int> cut;  // files that came out shorter than a piece written into them
    for (const MatchedPiece& m : matched) {
        const auto awaiting = q.awaitingSync.find(m.piece);
        if (awaiting == q.awaitingSync.end() || awaiting->second != m.ticket)
            continue;  // forgotten since it matched
        q.awaitingSync.erase(awaiting);
        q.touchedFiles.erase(m.piece);
        const auto isShort = [&](int i) {
            const StorageFile& file = m_files[i];
            const SyncedFile& synced = files.at(i);
            if (synced.size >= std::min(m_geometry.pieceSpan(m.piece).end(), file.offset + file.length) - file.offset)
                return false;
            report(synced.size < 0 ? synced.error : cutShortText(file), synced.detached);
            if (synced.size >= 0)
                cut.insert(i);
            return true;
        };
        if (std::any_of(m.files.begin(), m.files.end(), isShort)) {
            failed.append(m.piece);
        } else {
            q.synced.addIndex(m.piece);
            verified.append(m.piece);
        }
    }
    // A cut file loses every piece past its end, verified long ago or not; with the last wanted piece every
    // file is looked at, so that one cut since it was last written into cannot leave the torrent complete.
    const bool last = !verified.isEmpty() && q.synced.containsSet(q.wanted);
    for (int i = 0; i < m_files.size(); ++i) {
        if (!last && !cut.count(i))
            continue;
        const std::optional<QVector<quint32>> lost = cutShortOnDiskOnQueue(i);
        if (!lost || lost->isEmpty())
            continue;
        forgetPiecesOnQueue(*lost);
        failed += *lost;
        report(cutShortText(m_files[i]), false);
    }
    verified.removeIf([&](quint32 piece) { return !q.synced.containsIndex(piece); });
    if (!failed.isEmpty()) {
        losePiecesOnQueue(failed);
        const quint64 block = m_geometry.firstBlockOfPiece(failed.first());
        QMetaObject::invokeMethod(this, [this, block, error, detached] { emit writeFailed(block, error, detached); },
                                  Qt::QueuedConnection);
    }
    if (verified.isEmpty())
        return;
    QMetaObject::invokeMethod(this, [this, verified] {
        for (quint32 piece : verified)
            m_verifiedPieces.addIndex(piece);
        scheduleBitfieldWrite();
        for (quint32 piece : verified)
            emit pieceVerified(piece);
    }, Qt::QueuedConnection);
}

QVector<quint32> PieceStore::cutShortOnQueue(int i, qint64 size)
{
    qint64& written = m_queueState->writtenEnd[size_t(i)];
    if (size >= written)
        return {};
    written = size;
    const StorageFile& file = m_files[i];
    QVector<quint32> lost;
    const auto blocks = m_geometry.blocksOverlapping({file.offset + size, file.length - size});
    for (quint64 b = blocks.first; b <= blocks.last; ++b) {
        const quint32 piece = m_geometry.pieceOfBlock(b);
        if (m_storedBlocks.containsIndex(b) && (lost.isEmpty() || lost.last() != piece))
            lost.append(piece);
    }
    if (!lost.isEmpty())
        qWarning("*** %s is shorter than the data written into it: %lld pieces are lost", qPrintable(file.path),
                 qint64(lost.size()));
    return lost;
}

std::optional<QVector<quint32>> PieceStore::cutShortOnDiskOnQueue(int i, bool* present)
{
    const StorageFile& file = m_files[i];
    struct stat st;
    const bool found = ::stat(QFile::encodeName(file.path).constData(), &st) == 0;
    if (present)
        *present = found;
    if (!found && m_isDetached(file.path))
        return std::nullopt;  // its disk comes back with it
    return cutShortOnQueue(i, found ? qint64(st.st_size) : 0);
}

QString PieceStore::cutShortText(const StorageFile& file)
{
    return tr("The file \"%1\" is shorter than the data written into it.").arg(file.path);
}

QString PieceStore::goneText(const StorageFile& file)
{
    return tr("The file \"%1\" is gone.").arg(file.path);
}

std::optional<QByteArray> PieceStore::readOnQueue(PieceGeometry::Span span, int* failedFile) const
{
    QByteArray result(span.length, '\0');  // bytes of no file (padding) are zeros
    for (int i = 0; i < m_files.size(); ++i) {
        const StorageFile& file = m_files[i];
        const qint64 start = std::max(span.start, file.offset);
        const qint64 end = std::min(span.end(), file.offset + file.length);
        if (start >= end)
            continue;
        // A cached descriptor of a file deleted since would still read its old bytes.
        auto handle = FileHandleCache::readers().openExisting(file.path);
        if (!handle || handle->readAt(result.data() + (start - span.start), end - start, start - file.offset) != end - start) {
            *failedFile = i;
            return std::nullopt;
        }
    }
    return result;
}

void PieceStore::readFailedOnQueue(int i, quint32 piece)
{
    bool present = true;
    const std::optional<QVector<quint32>> lost = cutShortOnDiskOnQueue(i, &present);
    if (!lost)
        return;  // a halt, not a loss
    if (lost->isEmpty()) {
        // Unreadable for another reason (a read error, a file replaced), unless lost since.
        if (m_queueState->synced.containsIndex(piece))
            losePiecesOnQueue({piece});
        return;
    }
    losePiecesOnQueue(*lost);
    const quint64 block = m_geometry.firstBlockOfPiece(lost->first());
    const QString error = present ? cutShortText(m_files[i]) : goneText(m_files[i]);
    QMetaObject::invokeMethod(this, [this, block, error] { emit writeFailed(block, error, false); },
                              Qt::QueuedConnection);
}

void PieceStore::readSpan(quint32 piece, quint32 offset, quint32 length, ReadCallback done)
{
    if (!m_geometry.isInsidePiece(piece, offset, length) || !m_verifiedPieces.containsIndex(piece)) {
        QMetaObject::invokeMethod(this, [done] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    const PieceGeometry::Span span{m_geometry.pieceSpan(piece).start + offset, length};
    readQueue().post(this, [this, piece, span, done] {
        int failedFile = -1;
        auto data = readOnQueue(span, &failedFile);
        QMetaObject::invokeMethod(this, [this, piece, failedFile, data = std::move(data), done] {
            // Never served as zeros: what vanished is forgotten.
            if (failedFile >= 0 && m_verifiedPieces.containsIndex(piece))
                postStoreJob([this, failedFile, piece] { readFailedOnQueue(failedFile, piece); });
            done(data);
        }, Qt::QueuedConnection);
    });
}

void PieceStore::checkExistingData()
{
    ++m_existingDataChecks;
    m_existingDataCheck = std::make_shared<ExistingDataCheck>(m_geometry.pieceCount());
    postStoreJob([this, check = m_existingDataCheck] { checkExistingDataOnQueue(check); });
}

void PieceStore::checkExistingDataOnQueue(const std::shared_ptr<ExistingDataCheck>& check)
{
    QueueState& q = *m_queueState;
    const auto stepEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kExistingDataStepMs);
    MappedFileHasher files;
    while (check->next < m_geometry.pieceCount()) {
        if (q.existingDataCheckStopped)
            return;  // stored with the state meanwhile: it goes on after, or at the next start
        const quint32 piece = check->next++;
        if (!q.synced.containsIndex(piece) && pieceMatches(piece, files).value_or(false))
            check->found.addIndex(piece);
        if (check->next < m_geometry.pieceCount() && std::chrono::steady_clock::now() >= stepEnd) {
            // Behind what the other torrents queued meanwhile: a check of a huge file holds no one up.
            storeQueue().post(this, [this, check] { checkExistingDataOnQueue(check); });
            return;
        }
    }
    // Counted only once the check is whole, so a check cut short leaves no half of itself to redo.
    for (quint64 piece : check->found.indexArray()) {
        q.synced.addIndex(piece);
        markPieceBlocks(quint32(piece), true);
    }
    for (int i = 0; i < m_files.size(); ++i)
        if (hasStoredBlocks(m_files[i]))
            q.writtenEnd[size_t(i)] = m_files[i].length;  // at most; its next write sees how far
    QMetaObject::invokeMethod(this, [this, check] {
        const PZIndexSet& found = check->found;
        --m_existingDataChecks;
        if (m_existingDataCheck == check)
            m_existingDataCheck.reset();
        m_verifiedPieces.addIndexSet(found);
        // Before the verdict drops the check from the state file: a kill between the two must not leave
        // a state without its check and without the pieces it found.
        saveBitfields();
        emit existingDataChecked(found);
    }, Qt::QueuedConnection);
}

void PieceStore::stopExistingDataCheck()
{
    m_queueState->existingDataCheckStopped = true;
}

void PieceStore::resumeExistingDataCheck()
{
    m_queueState->existingDataCheckStopped = false;
    // With the queue drained, a check not at its end has no step queued or running.
    if (m_existingDataCheck && m_existingDataCheck->next < m_geometry.pieceCount())
        postStoreJob([this, check = m_existingDataCheck] { checkExistingDataOnQueue(check); });
}

void PieceStore::setWantedPieces(const PZIndexSet& wanted)
{
    postStoreJob([this, wanted] {
        m_queueState->wanted = wanted;
        // Behind the blocks already handed to the digests.
        for (int queue = 0; queue < kHashQueues; ++queue)
            hashQueues()[queue].post(this, [this, queue, wanted] {
                m_digests[queue].giveUpUnwanted([&wanted](quint32 piece) { return wanted.containsIndex(piece); });
            });
    });
}

void PieceStore::forgetPieces(const QVector<quint32>& pieces)
{
    for (quint32 p : pieces)
        m_verifiedPieces.removeIndex(p);
    postStoreJob([this, pieces] { forgetPiecesOnQueue(pieces); });
    scheduleBitfieldWrite();
}

void PieceStore::forgetPiecesOnQueue(const QVector<quint32>& pieces)
{
    for (quint32 piece : pieces) {
        if (piece >= m_geometry.pieceCount())
            continue;
        m_queueState->synced.removeIndex(piece);
        m_queueState->awaitingSync.erase(piece);
        m_queueState->checks.erase(piece);
        markPieceBlocks(piece, false);
        hashQueue(piece).post(this, [this, piece] { m_digests[piece % kHashQueues].forget(piece); });
    }
}

void PieceStore::losePiecesOnQueue(const QVector<quint32>& pieces)
{
    forgetPiecesOnQueue(pieces);
    QMetaObject::invokeMethod(this, [this, pieces] {
        for (quint32 p : pieces)
            m_verifiedPieces.removeIndex(p);
        scheduleBitfieldWrite();
        emit piecesLost(pieces);
    }, Qt::QueuedConnection);
}

void PieceStore::markPieceBlocks(quint32 piece, bool stored)
{
    const quint64 first = m_geometry.firstBlockOfPiece(piece);
    for (quint32 b = 0; b < m_geometry.blocksInPiece(piece); ++b) {
        if (stored)
            m_storedBlocks.addIndex(first + b);
        else
            m_storedBlocks.removeIndex(first + b);
    }
}

bool PieceStore::hasStoredBlocks(const StorageFile& file) const
{
    const auto blocks = m_geometry.blocksOverlapping(file.span());
    return !blocks.isEmpty() && m_storedBlocks.countWithinRange(blocks.first, blocks.last - blocks.first + 1) > 0;
}

bool PieceStore::allBlocksStored(quint32 piece) const
{
    const quint32 blocks = m_geometry.blocksInPiece(piece);
    return quint64(m_storedBlocks.countWithinRange(m_geometry.firstBlockOfPiece(piece), blocks)) == blocks;
}

void PieceStore::scheduleBitfieldWrite()
{
    if (m_bitfieldWritePending || m_bitfieldFolder.isEmpty())
        return;
    m_bitfieldWritePending = true;
    QTimer::singleShot(kBitfieldWriteDelayMs, this, [this] {
        m_bitfieldWritePending = false;
        saveBitfields();
    });
}

void PieceStore::saveBitfields()
{
    if (m_bitfieldFolder.isEmpty())
        return;
    // Every verified piece has its blocks in the stored set, unless it was lost since (its blocks went
    // first); a loaded piece without all its blocks counts as not verified.
    const auto fileOf = [](const PZIndexSet& set) { return set.count() > 0 ? std::optional(set.bitfield()) : std::nullopt; };
    const auto failed = [store = QPointer<PieceStore>(this)](const QString& error) {
        if (store)
            emit store->bitfieldWriteFailed(error);
    };
    const QDir folder(m_bitfieldFolder);
    StateFileWriter& writer = StateFileWriter::instance();
    writer.write(folder.filePath(QStringLiteral("downloadedBlocks.bitfield")), fileOf(m_storedBlocks), failed);
    writer.write(folder.filePath(QStringLiteral("downloadedPieces.bitfield")), fileOf(m_verifiedPieces), failed);
}

void PieceStore::cancelQueuedWork()
{
    cancelStoreAndHashJobs();
    readQueue().cancel(this);
}

void PieceStore::cancelStoreAndHashJobs()
{
    m_receivedBlocks.clear();
    // Store jobs post hash and sync jobs, and those post store jobs, which may post hash jobs again (a
    // failed sync forgets its pieces): with this store's posts refused everywhere first, one cancel per
    // queue leaves none of its jobs queued or running.
    std::vector<SerialQueue*> queues{&storeQueue(), &syncQueue()};
    for (int i = 0; i < kHashQueues; ++i)
        queues.push_back(&hashQueues()[i]);
    for (SerialQueue* queue : queues)
        queue->refuseJobsFrom(this);
    for (SerialQueue* queue : queues)
        queue->cancel(this);
    for (SerialQueue* queue : queues)
        queue->acceptJobsFrom(this);
}

void PieceStore::purgeCachedDescriptors()
{
    for (const StorageFile& file : m_files)
        FileHandleCache::purgeEverywhere(file.path);
}

}  // namespace ombrelay
