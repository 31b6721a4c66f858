#include "kit/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <vector>
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

namespace {

// A temporary file beside `path` that holds `bytes` with the permissions of the file it replaces (0644
// for a new one), synced when `sync`; empty on failure, which `error` explains.
QByteArray stage(const QString& path, const QByteArray& bytes, bool sync, QString* error)
{
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray temporary = QFile::encodeName(info.absolutePath()) + '/' +
                           QFile::encodeName(QLatin1Char('.') + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        fail(error, QStringLiteral("cannot create a file in %1").arg(info.absolutePath()), errno);
        return {};
    }
    struct stat existing;
    const mode_t mode = ::stat(target.constData(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    bool written = writeAll(fd, bytes.constData(), bytes.size()) && (!sync || ::fsync(fd) == 0);
    int code = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        written = false;
        code = errno;
    }
    if (written)
        return temporary;
    ::unlink(temporary.constData());
    fail(error, QStringLiteral("cannot write %1").arg(path), code);
    return {};
}

bool replace(const QByteArray& temporary, const QString& path, QString* error)
{
    if (::rename(temporary.constData(), QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData()) == 0)
        return true;
    const int code = errno;
    ::unlink(temporary.constData());
    return fail(error, QStringLiteral("cannot replace %1").arg(path), code);
}

// A rename or removal is durable only once the folder's entry is on disk.
void syncFolder(const QString& path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool removeFile(const QString& path, QString* error)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        return fail(error, QStringLiteral("cannot remove %1").arg(path), errno);
    syncFolder(path);
    return true;
}

// An open folder on each file system that a batch touches, synced all at once.
class FileSystems
{
public:
    FileSystems() = default;
    FileSystems(const FileSystems&) = delete;
    FileSystems& operator=(const FileSystems&) = delete;
    ~FileSystems()
    {
        for (const auto& [device, fd] : m_folders)
            if (fd >= 0)
                ::close(fd);
    }
    // The file system of the folder holding `path`; false when the folder cannot be opened.
    bool add(const QString& path, dev_t* device, QString* error)
    {
        const QString folder = QFileInfo(path).absolutePath();
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            const int code = errno;
            if (fd >= 0)
                ::close(fd);
            return fail(error, QStringLiteral("cannot create a file in %1").arg(folder), code);
        }
        *device = st.st_dev;
        // The first folder of a file system is kept open from before its files are written, so that
        // its sync reports every write error since.
        if (!m_folders.emplace(st.st_dev, fd).second)
            ::close(fd);
        return true;
    }
    // Syncs each file system; answers the error of those that failed.
    std::map<dev_t, int> sync() const
    {
        std::map<dev_t, int> failed;
        for (const auto& [device, fd] : m_folders)
            if (::syncfs(fd) != 0)
                failed.emplace(device, errno);
        return failed;
    }

private:
    std::map<dev_t, int> m_folders;
};

}  // namespace

bool AtomicFile::write(const QString& path, const QByteArray& bytes, QString* error)
{
    const QByteArray temporary = stage(path, bytes, true, error);
    if (temporary.isEmpty() || !replace(temporary, path, error))
        return false;
    syncFolder(path);
    return true;
}

QStringList AtomicFile::applyAll(const QVector<Change>& changes)
{
    QStringList errors;
    std::vector<qsizetype> changing;
    for (qsizetype i = 0; i < changes.size(); ++i) {
        errors.append(QString());
        const Change& change = changes[i];
        if (change.bytes ? !holds(change.path, *change.bytes) : exists(change.path))
            changing.push_back(i);
    }
    if (changing.size() <= size_t(kOwnSyncsUpTo)) {
        for (qsizetype i : changing) {
            if (changes[i].bytes)
                write(changes[i].path, *changes[i].bytes, &errors[i]);
            else
                removeFile(changes[i].path, &errors[i]);
        }
        return errors;
    }

    struct Staged
    {
        qsizetype change;
        dev_t device;
        QByteArray temporary;
    };
    std::vector<Staged> staged;
    FileSystems fileSystems;
    for (qsizetype i : changing) {
        dev_t device = 0;
        if (!fileSystems.add(changes[i].path, &device, &errors[i]))
            continue;
        if (!changes[i].bytes) {
            staged.push_back({i, device, {}});
            continue;
        }
        QByteArray temporary = stage(changes[i].path, *changes[i].bytes, false, &errors[i]);
        if (!temporary.isEmpty())
            staged.push_back({i, device, std::move(temporary)});
    }
    const std::map<dev_t, int> unsynced = fileSystems.sync();
    for (const Staged& file : staged) {
        const QString& path = changes[file.change].path;
        QString* error = &errors[file.change];
        if (file.temporary.isEmpty()) {
            if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
                fail(error, QStringLiteral("cannot remove %1").arg(path), errno);
        } else if (const auto failed = unsynced.find(file.device); failed != unsynced.end()) {
            ::unlink(file.temporary.constData());
            fail(error, QStringLiteral("cannot write %1").arg(path), failed->second);
        } else {
            replace(file.temporary, path, error);
        }
    }
    fileSystems.sync();
    return errors;
}

}  // namespace ombrelay
