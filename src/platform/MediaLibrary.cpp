#include "platform/MediaLibrary.h"

#include "kit/MediaTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {
namespace {

const QString kLibraryFolder = QStringLiteral("Ombrelay");
const QString kPlaylistSuffix = QStringLiteral(".m3u8");

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// A folder inside the library: made when missing, refused when something else (a link) sits there.
bool ensureRealFolder(const QString& path)
{
    const QByteArray name = native(path);
    if (::mkdir(name.constData(), 0755) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat first {}, second {};
    return ::stat(native(a).constData(), &first) == 0 && ::stat(native(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool exists(const QString& path)
{
    struct stat info {};
    return ::lstat(native(path).constData(), &info) == 0;
}

// Whether the two files hold the same bytes: an entry copied earlier counts as done.
bool sameContent(const QString& a, const QString& b)
{
    QFile first(a), second(b);
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 kChunk = 1 << 20;
    while (!first.atEnd()) {
        const QByteArray chunk = first.read(kChunk);
        if (chunk.isEmpty() || chunk != second.read(kChunk))
            return false;
    }
    return true;
}

// Every byte of `in` into `out`: a copy-on-write clone where the file system makes one, else a copy.
bool copyBytes(int in, int out)
{
    if (::ioctl(out, FICLONE, in) == 0)
        return true;
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied == 0)
            return true;
        if (copied > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return false;
        break;  // no kernel copy between these two: read and write
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer + done, size_t(got - done));
            if (put < 0 && errno != EINTR)
                return false;
            done += std::max<ssize_t>(put, 0);
        }
    }
}

// The entry at dest: bytes of its own, never a link to the seeded file, so a player or tag editor that
// rewrites it leaves the seeded bytes alone. Made under a hidden name and put in place without following
// or replacing anything there; EEXIST in errno when taken.
bool makeEntry(const QString& source, const QString& dest)
{
    const int in = ::open(native(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    QByteArray part = native(QFileInfo(dest).path() + QStringLiteral("/.ombrelay-entry-XXXXXX"));
    const int out = ::mkostemp(part.data(), O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        errno = error;
        return false;
    }
    bool made = ::fchmod(out, 0644) == 0 && copyBytes(in, out) && ::fdatasync(out) == 0;
    ::close(in);
    if (::close(out) != 0)
        made = false;
    const QByteArray to = native(dest);
    if (made && ::renameat2(AT_FDCWD, part.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (made && errno == EINVAL)  // a file system without that flag: a link fails on a taken name as well
        made = ::link(part.constData(), to.constData()) == 0;
    else
        made = false;
    const int error = errno;
    ::unlink(part.constData());
    errno = error;
    return made;
}

QString numbered(const QString& name, int number)
{
    if (number == 1)
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = QStringLiteral(" %1").arg(number);
    return dot > 0 ? name.left(dot) + suffix + name.mid(dot) : name + suffix;
}

bool isUnder(const QString& path, const QString& folder)
{
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonicalPath = QFileInfo(path).canonicalFilePath();
    return !canonicalFolder.isEmpty() && canonicalPath.startsWith(canonicalFolder + QLatin1Char('/'));
}

}  // namespace

MediaLibrary::Folders MediaLibrary::userFolders()
{
    return {QStandardPaths::writableLocation(QStandardPaths::MusicLocation),
            QStandardPaths::writableLocation(QStandardPaths::MoviesLocation)};
}

MediaLibrary::MediaLibrary(Folders folders) : m_folders(std::move(folders)) {}

bool MediaLibrary::takesMusic(const QString& extension)
{
    static const QSet<QString> free = {"ogg", "oga", "opus", "flac"};
    return isiTunesSupportedMusic(extension) || free.contains(extension.toLower());
}

bool MediaLibrary::takesVideo(const QString& extension)
{
    return isiTunesSupportedVideo(extension) || extension.toLower() == QLatin1String("webm");
}

QString MediaLibrary::safeComponent(const QString& text)
{
    QString name;
    qsizetype bytes = 0;
    for (const char32_t c : text.toUcs4()) {
        const char32_t safe = (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || c == U'/') ? U'_' : c;
        const QString piece = QString::fromUcs4(&safe, 1);
        bytes += piece.toUtf8().size();
        if (bytes > 255)
            break;
        name += piece;
    }
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return name;
}

QString MediaLibrary::rootFor(const QString& path) const
{
    const QString extension = QFileInfo(path).suffix();
    if (takesMusic(extension))
        return m_folders.music;
    if (takesVideo(extension))
        return m_folders.video;
    return {};
}

QString MediaLibrary::addFile(const QString& path, const QString& relativePath) const
{
    const QString root = rootFor(path);
    if (root.isEmpty())
        return {};
    if (isUnder(path, root))
        return path;
    QStringList parts;
    for (const QString& part : relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString safe = safeComponent(part);
        if (safe.isEmpty())
            return {};
        parts.append(safe);
    }
    if (parts.isEmpty() || !QDir().mkpath(root))
        return {};
    QString folder = root + QLatin1Char('/') + kLibraryFolder;
    if (!ensureRealFolder(folder))
        return {};
    const QString name = parts.takeLast();
    for (const QString& part : parts) {
        folder += QLatin1Char('/') + part;
        if (!ensureRealFolder(folder))
            return {};
    }
    const QString source = QFileInfo(path).absoluteFilePath();
    for (int number = 1; number <= 100; ++number) {
        const QString candidate = safeComponent(numbered(name, number));
        if (candidate.isEmpty())
            return {};
        const QString dest = folder + QLatin1Char('/') + candidate;
        if (exists(dest)) {
            if (sameFile(dest, source) || sameContent(dest, source))
                return dest;
            continue;
        }
        if (makeEntry(source, dest))
            return dest;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

QString MediaLibrary::playlistPath(const QString& name) const
{
    QString safe = safeComponent(name);
    while (safe.toUtf8().size() > 255 - kPlaylistSuffix.size())
        safe.chop(1);
    if (safe.isEmpty() || m_folders.music.isEmpty())
        return {};
    return m_folders.music + QStringLiteral("/Playlists/") + safe + kPlaylistSuffix;
}

bool MediaLibrary::addToPlaylist(const QString& entry, const QString& name) const
{
    const QString path = playlistPath(name);
    if (path.isEmpty() || entry.contains(QLatin1Char('\n')) || entry.contains(QLatin1Char('\r')))
        return false;
    if (!QDir().mkpath(m_folders.music) || !ensureRealFolder(QFileInfo(path).path()))
        return false;
    const int fd = ::open(native(path).constData(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    QFile file;
    struct stat info {};
    bool done = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle);
    if (!done) {
        ::close(fd);
        return false;
    }
    const QByteArray contents = file.readAll();
    const QByteArray line = entry.toUtf8();
    if (contents.split('\n').contains(line))
        return true;
    QByteArray addition;
    if (contents.isEmpty())
        addition = "#EXTM3U\n";
    else if (!contents.endsWith('\n'))
        addition = "\n";
    addition += line + '\n';
    return file.write(addition) == addition.size() && file.flush();
}

QStringList MediaLibrary::playlistNames() const
{
    if (m_folders.music.isEmpty())
        return {};
    QStringList names;
    const QDir folder(m_folders.music + QStringLiteral("/Playlists"));
    for (QString file : folder.entryList({QLatin1Char('*') + kPlaylistSuffix}, QDir::Files | QDir::Hidden, QDir::Name)) {
        file.chop(kPlaylistSuffix.size());
        names.append(file);
    }
    return names;
}

}  // namespace ombrelay
