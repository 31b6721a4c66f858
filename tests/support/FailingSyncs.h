#pragma once

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace ombrelay::test {

// A test program that replaces fsync or fdatasync makes it fail with EIO, while `failSyncs` is set, for
// files under a folder named "nosync"; every other call syncs for real through `syscall`.
inline std::atomic<bool> failSyncs{false};

inline bool refusesSync(int fd)
{
    if (!failSyncs.load())
        return false;
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0)
        return false;
    target[length] = '\0';
    if (!std::strstr(target, "/nosync/"))
        return false;
    errno = EIO;
    return true;
}

}  // namespace ombrelay::test
