#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace ombrelay {

class SerialQueue;

// The folder "RSSTorrentCache" under the application-support folder, which keeps the torrent files of
// feed entries across restarts: an address's file lies at host/path components, then the base64 of the
// SHA-1 of its query ("/" as "sl"), with ".torrent" appended unless already there. Paths never leave the
// folder: empty, "." and ".." components are dropped, escapes stay escaped, and an address whose path
// cannot be used gives host/SHA-1 of the address instead.
class RSSTorrentCache
{
public:
    static constexpr int kMaxComponentBytes = 200;
    static constexpr qint64 kUnusedLifetimeSeconds = qint64(30) * 86400;

    // The folder, computed once unless a test set its own; the first use of a folder prunes its files
    // unused for 30 days off the main thread. Main thread only.
    static QString cachePath();
    static void setCachePathForTesting(const QString& path);

    // Where the file of a torrent address goes, then its fallback; empty for an address without an
    // http(s) scheme or a host.
    static QStringList storagePaths(const QUrl& address, const QString& root);
    static bool isInside(const QString& path, const QString& root);

    // Where the cache's files are read, checked and written, one at a time, off the main thread.
    static SerialQueue& queue();

    struct CachedFile
    {
        QString path;
        QByteArray bytes;
    };
    // The first of `paths` that is a regular file inside the folder, touched so that the pruning keeps
    // what is in use, with its bytes; a file over `limit` bytes gives empty bytes. Blocking: for the queue.
    static std::optional<CachedFile> readFirst(const QStringList& paths, const QString& root, qint64 limit);
    // Writes metainfo bytes at the first usable path (folders made); the path written, or empty.
    // Blocking: for the cache's own queue.
    static QString write(const QStringList& paths, const QString& root, const QByteArray& bytes);
    // Deletes a file of the cache; nothing for a path outside it.
    static void remove(const QString& path, const QString& root);
    // Deletes files not modified since `oldest`, and folders left empty. Blocking.
    static void pruneUnusedFiles(const QString& root, const QDateTime& oldest);
};

}  // namespace ombrelay
