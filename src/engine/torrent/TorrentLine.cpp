#include "engine/torrent/TorrentLine.h"

#include "engine/bencode/Bdecoder.h"
#include "engine/core/TrackerService.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/TorrentStorage.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/Metainfo.h"
#include "engine/torrent/PathComponent.h"
#include "engine/tracker/AnnounceRequest.h"
#include "kit/MediaTypes.h"
#include "kit/PZCrypto.h"

#include <QFile>
#include <QHash>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {

TorrentLine::TorrentLine()
{
    m_amountRequested.setZeroValue(QString());
    m_amountDownloaded.setZeroValue(QStringLiteral("0kB"));
}

TorrentLine::~TorrentLine() = default;

TorrentLinePtr TorrentLine::torrentLineForPath(const QString& path)
{
    auto line = std::make_shared<TorrentLine>();
    return line->setTorrentPath(path) ? line : nullptr;
}

TorrentLinePtr TorrentLine::torrentLineForData(const QByteArray& data)
{
    auto line = std::make_shared<TorrentLine>();
    return line->setTorrentData(data) ? line : nullptr;
}

TorrentLinePtr TorrentLine::torrentLineForMetainfo(Metainfo metainfo)
{
    auto line = std::make_shared<TorrentLine>();
    return line->applyMetainfo(std::move(metainfo)) ? line : nullptr;
}

bool TorrentLine::setTorrentPath(const QString& path)
{
    m_torrentPath = path;
    // Opened without waiting, so that a FIFO or device named ".torrent" is refused instead of hanging the
    // caller; only a regular file within the size limit is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > Bdecoder::kMetainfoLimit ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // Read to the file's size: a read of the limit would reserve all of it and keep that room.
    return setTorrentData(file.read(qint64(info.st_size)));
}

bool TorrentLine::adoptTorrentFile(const QString& path, Metainfo metainfo)
{
    m_torrentPath = path;
    return applyMetainfo(std::move(metainfo));
}

bool TorrentLine::setTorrentData(const QByteArray& data)
{
    std::optional<Metainfo> metainfo = Metainfo::read(data);
    return metainfo && applyMetainfo(std::move(*metainfo));
}

bool TorrentLine::applyMetainfo(Metainfo metainfo)
{
    mutableChildren().clear();
    m_files.clear();
    m_torrentData = std::move(metainfo.data);
    setPath(metainfo.name);
    m_geometry = PieceGeometry(metainfo.pieceLength, metainfo.totalLength);
    m_piecesData = std::move(metainfo.pieces);

    if (metainfo.hasFileList) {
        // Folders by (parent, name), so that a long file list builds in linear time.
        QHash<QPair<const OBLine*, QString>, OBLine*> folders;
        quint64 offset = 0;
        for (qsizetype n = 0; n < metainfo.files.size(); ++n) {
            const Metainfo::File& file = metainfo.files.at(n);
            if (file.padding) {
                // Zeros of no file: neither listed nor written; the files keep their metainfo numbers.
                offset += quint64(file.length);
                continue;
            }
            OBLine* parent = this;
            for (qsizetype c = 0; c + 1 < file.components.size(); ++c) {
                const QString& name = file.components.at(c);
                OBLine*& folder = folders[qMakePair(static_cast<const OBLine*>(parent), name)];
                if (!folder)
                    folder = parent->appendChild(std::make_unique<FileLine>(name, this, parent));
                parent = folder;
            }
            auto line = std::make_unique<FileLine>(file.components.last(), this, parent, quint32(n));
            line->setByteRange(PZMakeRange(offset, quint64(file.length)));
            m_files.append(static_cast<FileLine*>(parent->appendChild(std::move(line))));
            offset += quint64(file.length);
        }
    }
    setFileIndex(isLeaf() ? 0 : kNoFileIndex);
    setByteRange(PZMakeRange(0, quint64(metainfo.totalLength)));
    m_infoHash = metainfo.infoHash;
    m_trackerListHTTP = metainfo.trackersHTTP;
    m_trackerListUDP = metainfo.trackersUDP;
    m_dhtNodes = metainfo.dhtNodes;

    const quint64 blocks = totalNumberOfBlocks();
    const quint64 pieces = totalNumberOfPieces();
    m_downloadedBlocks = PZIndexSet(blocks);
    m_storedBlocks = PZIndexSet(blocks);
    m_neededBlocks = PZIndexSet(blocks);
    m_downloadedPieces = PZIndexSet(pieces);
    m_neededPieces = PZIndexSet(pieces);
    m_exportedIndices = PZIndexSet(m_files.isEmpty() ? 1 : quint64(m_files.last()->fileIndex()) + 1);
    m_pathListString.clear();
    m_hasAnalyzedChildren = false;
    return true;
}

void TorrentLine::setDownloadPath(const QString& folder)
{
    Q_ASSERT_X(!path().isEmpty(), "setDownloadPath", "path == nil");
    m_downloadPath = folder;
    setFullPath(folder.isEmpty() ? QString() : PathComponent::join(folder, path()));
    for (const auto& child : children())
        static_cast<FileLine*>(child.get())->updateFullPaths(fullPath());
}

QList<OBLine*> TorrentLine::childrenFlat() const
{
    QList<OBLine*> flat;
    flat.reserve(m_files.size());
    for (FileLine* file : m_files)
        flat.append(file);
    return flat;
}

QString TorrentLine::escapedInfoHash() const
{
    return QString::fromLatin1(AnnounceRequest::escape(m_infoHash));
}

QByteArray TorrentLine::obfuscatedInfoHash() const
{
    return PZCrypto::sha1(QByteArrayLiteral("req2") + m_infoHash);
}

bool TorrentLine::isValidTracker(const QString& address)
{
    return Metainfo::isAllowedTracker(address);
}

QUrl TorrentLine::announceURL() const
{
    return m_trackerListHTTP.isEmpty() ? QUrl() : QUrl(m_trackerListHTTP.first());
}

void TorrentLine::handleAnnounceError()
{
    if (!m_trackerListHTTP.isEmpty())
        m_trackerListHTTP.removeFirst();
}

void TorrentLine::scrapeTracker()
{
    if (m_trackerListHTTP.isEmpty() || m_hasScraped)
        return;
    m_hasScraped = true;
    TrackerService::instance().scrape(*this);
}

void TorrentLine::rescrapeTracker()
{
    m_hasScraped = false;
    scrapeTracker();
}

bool TorrentLine::hasAudio() const
{
    if (!m_hasAnalyzedChildren) {
        m_hasAnalyzedChildren = true;
        const QList<OBLine*> lines = isLeaf() ? QList<OBLine*>{const_cast<TorrentLine*>(this)} : childrenFlat();
        for (const OBLine* line : lines) {
            const QString extension = line->pathExtension();
            m_hasAudio = m_hasAudio || isMusic(extension);
            m_hasVideo = m_hasVideo || isMovie(extension);
        }
    }
    return m_hasAudio;
}

bool TorrentLine::hasVideo() const
{
    hasAudio();
    return m_hasVideo;
}

// Geometry.

namespace {

PZRange asRange(PieceGeometry::IndexRange indexes)
{
    return indexes.isEmpty() ? PZRange{} : PZMakeRange(indexes.first, indexes.last - indexes.first + 1);
}

PieceGeometry::Span asSpan(PZRange range)
{
    // Clamped so that a range reaching past 2^63 stays a valid span.
    constexpr quint64 kMax = quint64(std::numeric_limits<qint64>::max());
    const quint64 start = std::min(range.location, kMax);
    return {qint64(start), qint64(std::min(range.length, kMax - start))};
}

}  // namespace

PZRange TorrentLine::blockRangeForByteRange(PZRange range) const
{
    return asRange(m_geometry.blocksOverlapping(asSpan(range)));
}

PZRange TorrentLine::pieceRangeForByteRange(PZRange range) const
{
    return asRange(m_geometry.piecesOverlapping(asSpan(range)));
}

PZIndexSet TorrentLine::blocksForByteRange(PZRange range) const
{
    PZIndexSet blocks(totalNumberOfBlocks());
    const PZRange run = blockRangeForByteRange(range);
    for (quint64 b = run.location; b < PZMaxRange(run); ++b)
        blocks.addIndex(b);
    return blocks;
}

PZIndexSet TorrentLine::piecesForByteRange(PZRange range) const
{
    PZIndexSet pieces(totalNumberOfPieces());
    const PZRange run = pieceRangeForByteRange(range);
    for (quint64 p = run.location; p < PZMaxRange(run); ++p)
        pieces.addIndex(p);
    return pieces;
}

quint64 TorrentLine::totalSize() const
{
    if (m_files.isEmpty())
        return totalLength();
    quint64 size = 0;
    for (const FileLine* file : m_files)
        if (file->shouldDownload())
            size += file->fileLength();
    return size;
}

bool TorrentLine::hasDownloadedAllBlocksForFile(const FileLine& file) const
{
    const PZRange blocks = file.blockRange();
    return quint64(storedBlocks().countWithinRange(blocks.location, blocks.length)) == blocks.length;
}

bool TorrentLine::hasDownloadedAllNeededPieces() const
{
    return downloadedPieces().containsSet(m_neededPieces);
}

bool TorrentLine::holdsEveryWantedPiece() const
{
    return downloadedPieces().count() > 0 && hasDownloadedAllNeededPieces();
}

const PZIndexSet& TorrentLine::storedBlocks() const
{
    return m_storage ? m_storage->store().storedBlocks() : m_storedBlocks;
}

const PZIndexSet& TorrentLine::downloadedPieces() const
{
    return m_storage ? m_storage->store().verifiedPieces() : m_downloadedPieces;
}

PZIndexSet& TorrentLine::recordedStoredBlocks()
{
    Q_ASSERT(!m_storage);
    return m_storedBlocks;
}

PZIndexSet& TorrentLine::recordedDownloadedPieces()
{
    Q_ASSERT(!m_storage);
    return m_downloadedPieces;
}

PieceStore* TorrentLine::pieceStore() const
{
    return m_storage ? &m_storage->store() : nullptr;
}

void TorrentLine::setStorage(std::unique_ptr<TorrentStorage> storage)
{
    m_storage = std::move(storage);
}

void TorrentLine::dropStorage()
{
    if (!m_storage)
        return;
    // Keep what the store knew, so a torrent put back without a store starts from it.
    m_storedBlocks = m_storage->store().storedBlocks();
    m_downloadedPieces = m_storage->store().verifiedPieces();
    m_storage.reset();
}

quint64 TorrentLine::bytesOfBlocks(const PZIndexSet& blocks) const
{
    if (!m_geometry.isValid())
        return 0;
    constexpr quint64 kBlock = PieceGeometry::kBlockSize;
    if (m_geometry.pieceLength() % kBlock != 0) {
        quint64 bytes = 0;
        for (const quint64 block : blocks.indexArray())
            bytes += quint64(m_geometry.blockLength(block));
        return bytes;
    }
    // Whole blocks, but for the torrent's last one.
    const quint64 last = m_geometry.blockCount() - 1;
    quint64 bytes = quint64(blocks.count()) * kBlock;
    if (blocks.containsIndex(last))
        bytes -= kBlock - quint64(m_geometry.blockLength(last));
    return bytes;
}

int TorrentLine::numberOfActiveFiles() const
{
    if (m_files.isEmpty())
        return 1;
    int wanted = 0;
    for (const FileLine* file : m_files)
        wanted += file->shouldDownload() ? 1 : 0;
    return wanted;
}

bool TorrentLine::hasDisabledFiles() const
{
    for (const FileLine* file : m_files)
        if (!file->shouldDownload())
            return true;
    return false;
}

QStringList TorrentLine::flatPathList() const
{
    QStringList names{path().section(QLatin1Char('/'), -1)};
    std::function<void(const OBLine&)> walk = [&](const OBLine& line) {
        for (const auto& child : line.children()) {
            names.append(child->path().section(QLatin1Char('/'), -1));
            walk(*child);
        }
    };
    walk(*this);
    return names;
}

QString TorrentLine::pathListString() const
{
    if (m_pathListString.isNull())
        m_pathListString = flatPathList().join(QLatin1Char('\n'));
    return m_pathListString;
}

}  // namespace ombrelay
