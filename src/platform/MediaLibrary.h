#pragma once

#include <QString>
#include <QStringList>

namespace ombrelay {

// The media library on Linux: an "Ombrelay" folder inside the user's music and video folders (as
// user-dirs.dirs names them). A completed file gets an entry there that keeps the torrent's folders: a
// copy-on-write clone where the file system allows, else a copy, never a link, so a tag editor writing
// the entry leaves the seeded bytes alone. Copying takes as long as the file: call it off the main thread.
// Nothing is written outside the library folders and no existing file is overwritten or followed.
class MediaLibrary
{
public:
    struct Folders
    {
        QString music;
        QString video;
    };
    // The user's music and video folders.
    static Folders userFolders();

    explicit MediaLibrary(Folders folders);
    const Folders& folders() const { return m_folders; }

    // Extensions whose files the library takes.
    static bool takesMusic(const QString& extension);
    static bool takesVideo(const QString& extension);

    // One file-name component from outside text: "/" and control characters replaced, at most 255 bytes
    // of UTF-8; empty when refused ("", ".", "..").
    static QString safeComponent(const QString& text);

    // The entry for a completed file; relativePath is its path inside the torrent ("Album/1.mp3"). A file
    // that already lies in the library's folder, or an entry that is the same file, counts as done. Empty
    // on failure.
    QString addFile(const QString& path, const QString& relativePath) const;

    // The playlist file "Playlists/<name>.m3u8" of the music folder, empty when the name is refused.
    QString playlistPath(const QString& name) const;
    // Appends the entry to the named playlist unless it is listed already; false on failure.
    bool addToPlaylist(const QString& entry, const QString& name) const;
    // The names of the playlist files, sorted.
    QStringList playlistNames() const;

private:
    QString rootFor(const QString& path) const;

    Folders m_folders;
};

}  // namespace ombrelay
