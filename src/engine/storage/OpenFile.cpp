#include "engine/storage/OpenFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {

OpenFile::~OpenFile()
{
    ::close(m_fd);
}

bool OpenFile::writeAt(const char* data, qint64 length, qint64 offset) const
{
    return writeAt({{const_cast<char*>(data), size_t(length)}}, offset);
}

bool OpenFile::writeAt(std::vector<iovec> pieces, qint64 offset) const
{
    size_t first = 0;
    for (;;) {
        while (first < pieces.size() && pieces[first].iov_len == 0)
            ++first;
        if (first == pieces.size())
            return true;
        const int count = int(std::min<size_t>(pieces.size() - first, IOV_MAX));
        const ssize_t n = ::pwritev(m_fd, pieces.data() + first, count, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        offset += n;
        // Past what was written: whole pieces are dropped, a partly written one is cut.
        for (size_t left = size_t(n); left > 0; ++first) {
            iovec& piece = pieces[first];
            const size_t taken = std::min(left, piece.iov_len);
            piece.iov_base = static_cast<char*>(piece.iov_base) + taken;
            piece.iov_len -= taken;
            left -= taken;
            if (piece.iov_len > 0)
                break;
        }
    }
}

qint64 OpenFile::readAt(char* data, qint64 length, qint64 offset) const
{
    qint64 total = 0;
    while (total < length) {
        const ssize_t n = ::pread(m_fd, data + total, size_t(length - total), offset + total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

bool OpenFile::syncData() const
{
    return ::fdatasync(m_fd) == 0;
}

qint64 OpenFile::size() const
{
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

}  // namespace ombrelay
