#include "engine/storage/ContentTrash.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace ombrelay {
namespace {

void collectFolders(const OBLine& line, QStringList& folders)
{
    for (const auto& child : line.children()) {
        const auto* file = static_cast<const FileLine*>(child.get());
        if (!file->isFolder())
            continue;
        collectFolders(*file, folders);
        folders.append(file->fullPath());
    }
}

}  // namespace

ContentTrash ContentTrash::of(const TorrentLine& torrent)
{
    ContentTrash trash;
    trash.downloadFolder = torrent.downloadPath();
    // Only files the torrent wrote into: a file that was there before and never took a block stays.
    const auto wrote = [&torrent](PZRange bytes) {
        const PZRange blocks = torrent.blockRangeForByteRange(bytes);
        return bytes.length == 0 || torrent.storedBlocks().countWithinRange(blocks.location, blocks.length) > 0;
    };
    if (torrent.files().isEmpty()) {
        if (wrote(torrent.byteRange()))
            trash.files.append(torrent.fullPath());
        return trash;
    }
    for (const FileLine* file : torrent.files())
        if (wrote(file->byteRange()))
            trash.files.append(file->fullPath());
    collectFolders(torrent, trash.folders);
    trash.folders.append(torrent.fullPath());
    return trash;
}

bool ContentTrash::isInsideDownloadFolder(const QString& path) const
{
    if (downloadFolder.isEmpty() || path.isEmpty())
        return false;
    const QString folder = QDir::cleanPath(QFileInfo(downloadFolder).absoluteFilePath());
    const QString cleaned = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return cleaned.startsWith(folder + QLatin1Char('/')) && cleaned.size() > folder.size() + 1;
}

QStringList ContentTrash::moveToTrash() const
{
    QStringList moved;
    for (const QString& path : files) {
        const QFileInfo info(path);
        if (!isInsideDownloadFolder(path) || (!info.isSymLink() && !info.isFile()))
            continue;
        if (QFile::moveToTrash(path))
            moved.append(path);
        else
            qWarning("*** Could not move %s to the trash", qPrintable(path));
    }
    for (const QString& path : folders) {
        const QFileInfo info(path);
        if (!isInsideDownloadFolder(path) || info.isSymLink() || !info.isDir() ||
            !QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            continue;
        if (QFile::moveToTrash(path))
            moved.append(path);
    }
    return moved;
}

}  // namespace ombrelay
