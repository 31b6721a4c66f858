#include "engine/storage/FileHandleCache.h"

#include "kit/FileHelpers.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace ombrelay {

namespace {
constexpr size_t kOpenFilesPerCache = 16;
}

FileHandleCache::FileHandleCache(Mode mode, size_t capacity) : m_mode(mode), m_capacity(capacity) {}

FileHandleCache& FileHandleCache::writers()
{
    static FileHandleCache cache(Mode::ReadWrite, kOpenFilesPerCache);
    return cache;
}

FileHandleCache& FileHandleCache::readers()
{
    static FileHandleCache cache(Mode::ReadOnly, kOpenFilesPerCache);
    return cache;
}

void FileHandleCache::purgeEverywhere(const QString& path)
{
    writers().purge(path);
    readers().purge(path);
}

std::shared_ptr<OpenFile> FileHandleCache::open(const QString& path)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_files.find(path); it != m_files.end()) {
        m_recent.splice(m_recent.end(), m_recent, it->second.second);
        return it->second.first;
    }
    const QByteArray native = QFile::encodeName(path);
    int fd = -1;
    if (m_mode == Mode::ReadWrite) {
        if (!createParentFolders(path))
            return nullptr;  // errno tells why, not the open that would follow
        fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    } else {
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        return nullptr;
    return keep(path, fd);
}

std::shared_ptr<OpenFile> FileHandleCache::openExisting(const QString& path)
{
    std::lock_guard lock(m_mutex);
    const QByteArray native = QFile::encodeName(path);
    struct stat onDisk;
    const bool present = ::stat(native.constData(), &onDisk) == 0;
    if (auto it = m_files.find(path); it != m_files.end()) {
        struct stat held;
        if (present && ::fstat(it->second.first->descriptor(), &held) == 0 && held.st_dev == onDisk.st_dev
            && held.st_ino == onDisk.st_ino) {
            m_recent.splice(m_recent.end(), m_recent, it->second.second);
            return it->second.first;
        }
        m_recent.erase(it->second.second);
        m_files.erase(it);
        errno = ENOENT;
        return nullptr;
    }
    if (!present)
        return nullptr;
    const int fd = ::open(native.constData(), (m_mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return keep(path, fd);
}

std::shared_ptr<OpenFile> FileHandleCache::keep(const QString& path, int fd)
{
    while (m_files.size() >= m_capacity && !m_recent.empty()) {
        m_files.erase(m_recent.front());
        m_recent.pop_front();
    }
    auto file = std::make_shared<OpenFile>(fd, path);
    m_recent.push_back(path);
    m_files.emplace(path, std::make_pair(file, std::prev(m_recent.end())));
    return file;
}

void FileHandleCache::purge(const QString& path)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_files.find(path); it != m_files.end()) {
        m_recent.erase(it->second.second);
        m_files.erase(it);
    }
}

size_t FileHandleCache::openCount() const
{
    std::lock_guard lock(m_mutex);
    return m_files.size();
}

}  // namespace ombrelay
