#include "engine/storage/TorrentAdder.h"

#include "engine/storage/PieceStore.h"
#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"

#include <QCoreApplication>
#include <QFile>
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

void TorrentAdder::addTorrentLines(const TorrentLineList& lines, bool showFolderPanel, bool deleteOriginals,
                                   bool selectAndDisplay)
{
    if (lines.isEmpty())
        return;
    EngineHost& host = EngineHost::instance();
    const auto add = [session = &m_session, lines, deleteOriginals, selectAndDisplay] {
        TorrentAdder(*session).addLines(lines);
        if (deleteOriginals)
            trashOriginals(lines);
        if (selectAndDisplay) {
            EngineHost& host = EngineHost::instance();
            host.showDownloadsPane();
            host.selectObjects(lines);
        }
    };
    if (!showFolderPanel) {
        add();
        return;
    }
    const QString message = lines.size() == 1
        ? QCoreApplication::translate("TorrentAdder", "Select a download folder for %1").arg(lines.first()->path())
        : QCoreApplication::translate("TorrentAdder", "Select a download folder for these torrents.");
    host.chooseDownloadFolder(message, AppPaths::downloadPath(), [lines, add](const QString& folder) {
        if (folder.isEmpty())
            return;
        for (const TorrentLinePtr& line : lines)
            if (!line->isDownloading())
                line->setDownloadPath(folder);
        add();
    });
}

void TorrentAdder::downloadTorrentLines(const TorrentLineList& lines)
{
    addTorrentLines(lines, Settings::instance().boolean(QStringLiteral("kConfirmLocationInternal")), false, false);
}

void TorrentAdder::addLines(const TorrentLineList& lines)
{
    for (const TorrentLinePtr& line : lines)
        if (!line->isDownloading())
            addLine(line);
}

void TorrentAdder::addLine(const TorrentLinePtr& line)
{
    const Settings& settings = Settings::instance();
    if (line->downloadPath().isEmpty()) {
        const bool incomplete = settings.boolean(QStringLiteral("kUseIncompleteFolder"));
        line->setDownloadPath(incomplete ? AppPaths::incompletePath() : AppPaths::downloadPath());
        line->setShouldRelocateOnCompletion(incomplete);
    }
    // The session folder exists before the torrent starts, so that its first writes have a place.
    m_session.writeStorageInformation(*line);

    EngineHost& host = EngineHost::instance();
    host.addDownload(line);
    const bool queued = settings.boolean(QStringLiteral("kDownloadQueueEnabled")) &&
                        host.numberOfDownloadingTorrents() > settings.integer(QStringLiteral("kDownloadQueueLimit"));
    const int state = queued ? TorrentLine::Waiting : TorrentLine::Downloading;

    bool existing = false;
    for (const TargetFile& file : targetFiles(*line))
        existing = existing || holdsData(file.path);
    if (!existing || m_session.isPathOnUnattachedVolume(line->downloadPath())) {
        line->beginDownloadWithState(state);
        if (PieceStore* store = line->pieceStore())
            store->createEmptyFiles();
        return;
    }

    // Files already there: keep the pieces that verify, and write nothing before that is known.
    line->beginDownloadWithState(TorrentLine::Paused);
    PieceStore* store = line->pieceStore();
    if (!store)
        return;
    QObject::connect(store, &PieceStore::existingDataChecked, line.get(),
                     [weak = std::weak_ptr<TorrentLine>(line), state](const PZIndexSet& verified) {
        const TorrentLinePtr torrent = weak.lock();
        if (!torrent || torrent->downloadState() != TorrentLine::Paused || !torrent->errorText().isEmpty())
            return;
        const QString unrelated = unrelatedExistingFile(*torrent, verified);
        if (!unrelated.isEmpty()) {
            torrent->pauseWithError(QCoreApplication::translate("TorrentAdder", "\"%1\" already exists and holds other data.")
                                        .arg(QFileInfo(unrelated).fileName()));
            return;
        }
        if (state == TorrentLine::Waiting) {
            torrent->setDownloadState(TorrentLine::Waiting);
            EngineHost::instance().updateQueueState();
        } else {
            torrent->retryDownload();
        }
        if (PieceStore* s = torrent->pieceStore())
            s->createEmptyFiles();
    }, Qt::SingleShotConnection);
    store->checkExistingData();
}

QString TorrentAdder::unrelatedExistingFile(const TorrentLine& torrent, const PZIndexSet& verifiedPieces)
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

void TorrentAdder::trashOriginals(const TorrentLineList& lines)
{
    if (!Settings::instance().boolean(QStringLiteral("kDeleteOriginalTorrent")))
        return;
    for (const TorrentLinePtr& line : lines)
        if (!line->torrentPath().isEmpty() && !QFile::moveToTrash(line->torrentPath()))
            qWarning("*** Could not move %s to the trash", qPrintable(line->torrentPath()));
}

}  // namespace ombrelay
