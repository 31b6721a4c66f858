#include "engine/storage/ContentTrash.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
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
    trash.contentFolder = torrent.fullPath();
    return trash;
}

bool ContentTrash::contentFolderHoldsOnlyOwnFiles() const
{
    const QFileInfo info(contentFolder);
    if (!isInsideDownloadFolder(contentFolder) || info.isSymLink() || !info.isDir())
        return false;
    QSet<QString> ownFiles, ownFolders;
    for (const QString& path : files)
        ownFiles.insert(QDir::cleanPath(path));
    for (const QString& path : folders)
        ownFolders.insert(QDir::cleanPath(path));
    // Links are not followed; the walk ends at the first entry that is not the torrent's.
    QDirIterator it(contentFolder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = QDir::cleanPath(it.next());
        const QFileInfo entry = it.fileInfo();
        if (!(entry.isDir() && !entry.isSymLink() ? ownFolders : ownFiles).contains(path))
            return false;
    }
    return true;
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
    // Whole, so that restoring the folder gives the content back; file by file where the folder also
    // holds what was there before.
    if (contentFolderHoldsOnlyOwnFiles()) {
        if (QFile::moveToTrash(contentFolder))
            return {contentFolder};
        qWarning("*** Could not move %s to the trash", qPrintable(contentFolder));
    }
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
