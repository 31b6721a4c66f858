#pragma once

#include "engine/storage/OpenFile.h"

#include <QString>
#include <QStringList>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace ombrelay {

// A process-wide cache of open files, least recently used closed first. A file handed out stays open
// for its user even when the cache drops it meanwhile, so a descriptor can never be closed (and its
// number reused) under a running read or write.
class FileHandleCache
{
public:
    enum class Mode { ReadWrite, ReadOnly };

    FileHandleCache(Mode mode, size_t capacity);

    // The cache for writing (creates missing files) and the cache for reading (never creates).
    static FileHandleCache& writers();
    static FileHandleCache& readers();
    // Drops a path from both caches.
    static void purgeEverywhere(const QString& path);

    // The open file for path; for ReadWrite the file and its folders are created when missing.
    // Null with errno set when it cannot be opened (a reader's missing file among them).
    std::shared_ptr<OpenFile> open(const QString& path);
    // The open file for path when the file is there; never creates anything. A cached file that no
    // longer is the one at path (deleted, or replaced) is dropped and answers null, as a missing one.
    std::shared_ptr<OpenFile> openExisting(const QString& path);
    void purge(const QString& path);
    size_t openCount() const;

private:
    // Caches a new descriptor for path (the lock held).
    std::shared_ptr<OpenFile> keep(const QString& path, int fd);

    Mode m_mode;
    size_t m_capacity;
    mutable std::mutex m_mutex;
    std::list<QString> m_recent;  // least recently used first
    std::unordered_map<QString, std::pair<std::shared_ptr<OpenFile>, std::list<QString>::iterator>> m_files;
};

}  // namespace ombrelay
