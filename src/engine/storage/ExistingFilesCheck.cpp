#include "engine/storage/ExistingFilesCheck.h"

#include "engine/storage/PieceStore.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ombrelay {
namespace {

struct TargetFile
{
    QString path;
    PZRange bytes;
};

QList<TargetFile> targetFiles(const TorrentLine& torrent)
{
    QList<TargetFile> files;
    if (torrent.files().isEmpty())
        files.append({torrent.fullPath(), torrent.byteRange()});
    for (const FileLine* file : torrent.files())
        files.append({file->fullPath(), file->byteRange()});
    return files;
}

bool holdsData(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && (!info.isFile() || info.size() > 0);
}

}  // namespace

bool ExistingFilesCheck::anyHoldsData(const TorrentLine& torrent)
{
    for (const TargetFile& file : targetFiles(torrent))
        if (holdsData(file.path))
            return true;
    return false;
}

QString ExistingFilesCheck::unrelatedFile(const TorrentLine& torrent, const PZIndexSet& verifiedPieces)
{
    for (const TargetFile& file : targetFiles(torrent)) {
        if (file.bytes.length == 0 || !holdsData(file.path))
            continue;
        const PZRange pieces = torrent.pieceRangeForByteRange(file.bytes);
        if (verifiedPieces.countWithinRange(pieces.location, pieces.length) == 0)
            return file.path;
    }
    return {};
}

void ExistingFilesCheck::start(TorrentLine& torrent)
{
    PieceStore* store = torrent.pieceStore();
    if (!torrent.isCheckingFiles() || (store && store->isCheckingExistingData()))
        return;
    if (!store || !anyHoldsData(torrent))
        return finish(torrent, {});
    QObject::connect(store, &PieceStore::existingDataChecked, &torrent,
                     [weak = torrent.weak_from_this()] {
        const TorrentLinePtr line = weak.lock();
        if (!line || !line->isCheckingFiles())
            return;  // removed, halted or stopped by an error meanwhile
        // Every verified piece counts, also those an earlier check found (a check again skips them).
        const QString unrelated = unrelatedFile(*line, line->downloadedPieces());
        finish(*line, unrelated.isEmpty() ? QString()
                                          : QCoreApplication::translate("TorrentAdder", "\"%1\" already exists and holds other data.")
                                                .arg(QFileInfo(unrelated).fileName()));
    }, Qt::SingleShotConnection);
    store->checkExistingData();
}

void ExistingFilesCheck::finish(TorrentLine& torrent, const QString& refusal)
{
    torrent.existingFilesChecked(refusal);
    if (PieceStore* store = torrent.pieceStore(); store && refusal.isEmpty())
        store->createEmptyFiles();
}

}  // namespace ombrelay
