#include "kit/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {
namespace {

bool fail(QString* error, const QString& what, int code)
{
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
    return false;
}

bool writeAll(int fd, const char* data, qsizetype length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, size_t(length));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

bool readAll(int fd, char* data, qsizetype length)
{
    while (length > 0) {
        const ssize_t n = ::read(fd, data, size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= n;
    }
    return true;
}

}  // namespace

bool AtomicFile::holds(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool same = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == bytes.size()) {
        QByteArray stored(bytes.size(), Qt::Uninitialized);
        char extra;
        same = readAll(fd, stored.data(), stored.size()) && ::read(fd, &extra, 1) == 0 && stored == bytes;
    }
    ::close(fd);
    return same;
}

bool AtomicFile::writeIfDifferent(const QString& path, const QByteArray& bytes, QString* error)
{
    return holds(path, bytes) || write(path, bytes, error);
}

bool AtomicFile::write(const QString& path, const QByteArray& bytes, QString* error)
{
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    QByteArray temporary = folder + '/' + QFile::encodeName(QLatin1Char('.') + info.fileName()) + ".XXXXXX";

    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(error, QStringLiteral("cannot create a file in %1").arg(info.absolutePath()), errno);

    // Keep the permissions of the file we replace; a new file gets the usual 0644.
    struct stat existing;
    const mode_t mode = ::stat(target.constData(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    if (!writeAll(fd, bytes.constData(), bytes.size()) || ::fsync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        ::unlink(temporary.constData());
        return fail(error, QStringLiteral("cannot write %1").arg(path), code);
    }
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return fail(error, QStringLiteral("cannot write %1").arg(path), code);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return fail(error, QStringLiteral("cannot replace %1").arg(path), code);
    }
    // The rename is durable only once the folder's entry is on disk.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace ombrelay
