#include "search/feeds/RSSTorrentCache.h"

#include "kit/AppPaths.h"
#include "kit/AtomicFile.h"
#include "kit/PZCrypto.h"
#include "kit/SerialQueue.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace ombrelay {
namespace {

QString& overriddenPath()
{
    static QString path;
    return path;
}

bool usableComponent(const QString& component)
{
    return !component.contains(QChar(0)) && component.toUtf8().size() <= RSSTorrentCache::kMaxComponentBytes;
}

QString withTorrentExtension(const QString& path)
{
    return QFileInfo(path).suffix() == QLatin1String("torrent") ? path : path + QStringLiteral(".torrent");
}

}  // namespace

QString RSSTorrentCache::cachePath()
{
    static const QString found = QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("RSSTorrentCache"));
    const QString root = overriddenPath().isEmpty() ? found : overriddenPath();
    static QString pruned;
    if (root != pruned) {
        pruned = root;
        const QDateTime oldest = QDateTime::currentDateTimeUtc().addSecs(-kUnusedLifetimeSeconds);
        // On the cache's own queue: a folder it empties is never one a write has just made.
        queue().post(nullptr, [root, oldest] { pruneUnusedFiles(root, oldest); });
    }
    return root;
}

void RSSTorrentCache::setCachePathForTesting(const QString& path)
{
    overriddenPath() = path;
}

QStringList RSSTorrentCache::storagePaths(const QUrl& address, const QString& root)
{
    const QString scheme = address.scheme().toLower();
    const QString host = address.host(QUrl::FullyEncoded);
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || host.isEmpty())
        return {};
    const QString fallback = QDir(root).filePath(
        host + QLatin1Char('/') + QString::fromLatin1(PZCrypto::sha1(address.toEncoded()).toHex())
        + QStringLiteral(".torrent"));

    QStringList components{host};
    for (const QString& part : address.path(QUrl::FullyEncoded).split(QLatin1Char('/')))
        if (!part.isEmpty() && part != QLatin1String(".") && part != QLatin1String(".."))
            components.append(part);
    const QString query = address.query(QUrl::FullyEncoded);
    if (!query.isEmpty())
        components.append(PZCrypto::base64String(PZCrypto::sha1(query)).replace(QLatin1Char('/'),
                                                                                QStringLiteral("sl")));
    components.last() = withTorrentExtension(components.last());
    for (const QString& component : std::as_const(components))
        if (!usableComponent(component))
            return {fallback};
    const QString primary = QDir(root).filePath(components.join(QLatin1Char('/')));
    if (!isInside(primary, root))
        return {fallback};
    return {primary, fallback};
}

bool RSSTorrentCache::isInside(const QString& path, const QString& root)
{
    const QString cleanRoot = QDir::cleanPath(root);
    return !cleanRoot.isEmpty() && QDir::cleanPath(path).startsWith(cleanRoot + QLatin1Char('/'));
}

SerialQueue& RSSTorrentCache::queue()
{
    static SerialQueue queue(QStringLiteral("Feed torrent cache"));
    return queue;
}

std::optional<RSSTorrentCache::CachedFile> RSSTorrentCache::readFirst(const QStringList& paths, const QString& root,
                                                                     qint64 limit)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!isInside(path, root) || info.isSymLink() || !info.isFile())
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite))
            return CachedFile{path, {}};
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
        // Read to the file's size: a read of `limit` bytes would reserve all of them first.
        return CachedFile{path, file.size() > limit ? QByteArray() : file.read(file.size())};
    }
    return std::nullopt;
}

QString RSSTorrentCache::write(const QStringList& paths, const QString& root, const QByteArray& bytes)
{
    for (const QString& path : paths) {
        if (!isInside(path, root) || !QDir().mkpath(QFileInfo(path).absolutePath()) || QFileInfo(path).isDir())
            continue;
        QString error;
        if (AtomicFile::write(path, bytes, &error))
            return path;
        fprintf(stderr, "*** %s\n", qPrintable(error));
    }
    return {};
}

void RSSTorrentCache::remove(const QString& path, const QString& root)
{
    if (isInside(path, root))
        QFile::remove(path);
}

void RSSTorrentCache::pruneUnusedFiles(const QString& root, const QDateTime& oldest)
{
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return;
    QDirIterator files(root, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        if (file.lastModified() < oldest)
            QFile::remove(file.filePath());
    }
    // Deepest folders first, so that emptied parents go too.
    QStringList folders;
    QDirIterator dirs(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (dirs.hasNext())
        folders.append(dirs.next());
    std::sort(folders.begin(), folders.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& folder : std::as_const(folders))
        QDir().rmdir(folder);
}

}  // namespace ombrelay
