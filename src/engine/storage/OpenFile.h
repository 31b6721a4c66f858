#pragma once

#include <QString>
#include <QtGlobal>
#include <sys/uio.h>
#include <vector>

namespace ombrelay {

// An open file descriptor, closed when the last user lets go of it. Positioned reads and writes only,
// so several users never disturb each other's offsets.
class OpenFile
{
public:
    OpenFile(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int descriptor() const { return m_fd; }
    const QString& path() const { return m_path; }

    // Writes all of data at offset; false with errno set on failure.
    bool writeAt(const char* data, qint64 length, qint64 offset) const;
    // Writes the pieces one after the other from offset, in as few calls as the system takes; as writeAt.
    bool writeAt(std::vector<iovec> pieces, qint64 offset) const;
    // Reads up to length bytes at offset; the count read (short at end of file), or -1 with errno set.
    qint64 readAt(char* data, qint64 length, qint64 offset) const;
    bool syncData() const;
    qint64 size() const;  // -1 when the status cannot be read

private:
    int m_fd;
    QString m_path;
};

}  // namespace ombrelay
