#include "kit/FileHelpers.h"

#include "kit/AppPaths.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {

namespace {

// Makes a folder and the missing ones above it; on failure errno holds the cause.
bool makeFolders(const QByteArray& path)
{
    struct stat status;
    if (::stat(path.constData(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT)
        return false;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0 && !makeFolders(path.left(slash)))
        return false;
    if (::mkdir(path.constData(), 0777) == 0)
        return true;
    // Made meanwhile by someone else.
    return errno == EEXIST && ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

bool createParentFolders(const QString& path)
{
    return makeFolders(QFile::encodeName(QFileInfo(path).absolutePath()));
}

bool createFileAtPathRecursive(const QString& path)
{
    const QString expanded = AppPaths::expandTilde(path);
    if (!createParentFolders(expanded))
        return false;
    const int fd = ::open(QFile::encodeName(expanded).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        qWarning("*** Could not create %s: %s", qPrintable(expanded), std::strerror(errno));
        return false;
    }
    struct stat status;
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    ::close(fd);
    return regular;
}

bool increaseLengthTo(int fileDescriptor, qint64 length)
{
    struct stat status;
    if (::fstat(fileDescriptor, &status) != 0)
        return false;
    if (status.st_size >= length)
        return true;
    return ::ftruncate(fileDescriptor, off_t(length)) == 0;
}

} // namespace ombrelay
