#pragma once

#include <QtGlobal>
#include <memory>

namespace ombrelay {

class OpenFile;
class Sha1Hasher;

// Hashes byte ranges of files straight out of the page cache through a read-only mapping, which skips
// the copy a read makes. A window of a few MiB stays mapped until the next range falls outside it, so a
// pass over consecutive pieces maps each window once. A file cut short under the mapping (by another
// program) fails the range instead of killing the process with SIGBUS; where a file cannot be mapped,
// the range is read instead.
class MappedFileHasher
{
public:
    MappedFileHasher();
    ~MappedFileHasher();
    MappedFileHasher(const MappedFileHasher&) = delete;
    MappedFileHasher& operator=(const MappedFileHasher&) = delete;

    // Feeds [offset, offset + length) of file to hasher; false when the file is shorter or cannot be read.
    bool update(Sha1Hasher& hasher, const std::shared_ptr<OpenFile>& file, qint64 offset, qint64 length);

private:
    // Maps the window around [offset, offset + length) of a file of `size` bytes.
    bool map(const std::shared_ptr<OpenFile>& file, qint64 offset, qint64 length, qint64 size);
    void unmap();

    std::shared_ptr<OpenFile> m_file;
    const char* m_base = nullptr;
    qint64 m_start = 0;
    qint64 m_length = 0;
};

}  // namespace ombrelay
