#pragma once

#include <QString>
#include <QStringList>

namespace ombrelay {

class TorrentLine;

// What removing an incomplete torrent puts into the trash: its content folder whole when the folder holds
// nothing but the files it stored blocks in and its own folders; otherwise the files of its own list that
// exist and that it stored blocks in, then its folders once they are empty. Never anything outside its
// download folder nor that folder itself.
struct ContentTrash
{
    QString downloadFolder;
    QStringList files;
    QStringList folders;  // deepest first
    QString contentFolder;  // a multi-file torrent's folder; empty for a single file

    static ContentTrash of(const TorrentLine& torrent);
    // Moves what qualifies to the trash (the freedesktop trash of the user); returns what was moved.
    QStringList moveToTrash() const;
    // Strictly below the download folder, whatever "." or ".." the path holds.
    bool isInsideDownloadFolder(const QString& path) const;

private:
    bool contentFolderHoldsOnlyOwnFiles() const;
};

}  // namespace ombrelay
