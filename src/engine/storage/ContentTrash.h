#pragma once

#include <QString>
#include <QStringList>

namespace ombrelay {

class TorrentLine;

// What removing an incomplete torrent puts into the trash: the files of its own list that exist and that
// it stored blocks in, then its folders once they are empty; never anything outside its download folder
// nor that folder itself.
struct ContentTrash
{
    QString downloadFolder;
    QStringList files;
    QStringList folders;  // deepest first

    static ContentTrash of(const TorrentLine& torrent);
    // Moves what qualifies to the trash (the freedesktop trash of the user); returns what was moved.
    QStringList moveToTrash() const;
    // Strictly below the download folder, whatever "." or ".." the path holds.
    bool isInsideDownloadFolder(const QString& path) const;
};

}  // namespace ombrelay
