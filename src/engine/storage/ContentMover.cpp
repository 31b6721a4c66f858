#include "engine/storage/ContentMover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ombrelay {
namespace {

constexpr size_t kCopyChunk = 1024 * 1024;

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now, so that a failing close (a delayed write error) is seen.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char* data, ssize_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

bool stopped(const std::atomic<bool>* stop)
{
    if (!stop || !*stop)
        return false;
    errno = ECANCELED;
    return true;
}

bool copyFile(const QByteArray& from, const QByteArray& to, const struct stat& st, const std::atomic<bool>* stop)
{
    Descriptor in(::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (in.get() < 0)
        return false;
    Descriptor out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
    if (out.get() < 0)
        return false;
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        if (stopped(stop))
            return false;
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!writeAll(out.get(), buffer.data(), n))
            return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.get(), times);
    return ::fdatasync(out.get()) == 0 && out.close();
}

bool copyEntry(const QByteArray& from, const QByteArray& to, const std::atomic<bool>* stop)
{
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return false;
    if (S_ISREG(st.st_mode))
        return copyFile(from, to, st, stop);
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(from.constData(), target.data(), target.size() - 1);
        if (n < 0)
            return false;
        target[size_t(n)] = '\0';
        return ::symlink(target.data(), to.constData()) == 0;
    }
    if (!S_ISDIR(st.st_mode))
        return true;  // sockets, pipes and devices are no torrent's content
    if (::mkdir(to.constData(), (st.st_mode & 07777) | S_IRWXU) != 0)
        return false;
    const QDir folder(QFile::decodeName(from));
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (stopped(stop) || !copyEntry(from + '/' + QFile::encodeName(name), to + '/' + QFile::encodeName(name), stop))
            return false;
    }
    Descriptor dir(::open(to.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.get() >= 0 && ::fsync(dir.get()) == 0;
}

}  // namespace

QString ContentMover::partialPath(const QString& destination)
{
    const QFileInfo info(destination);
    return info.dir().filePath(QStringLiteral(".%1.ombrelay-move").arg(info.fileName()));
}

bool ContentMover::copy(const QString& from, const QString& to, QString* error, const std::atomic<bool>* stop)
{
    struct stat st;
    if (::lstat(QFile::encodeName(to).constData(), &st) == 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(EEXIST));
        return false;  // not ours to remove
    }
    if (copyEntry(QFile::encodeName(from), QFile::encodeName(to), stop))
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    removeTree(to);
    return false;
}

bool ContentMover::removeTree(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

}  // namespace ombrelay
