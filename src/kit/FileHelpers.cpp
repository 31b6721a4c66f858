#include "kit/FileHelpers.h"

#include "kit/AppPaths.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {

bool createParentFolders(const QString& path)
{
    return QDir().mkpath(QFileInfo(path).absolutePath());
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
