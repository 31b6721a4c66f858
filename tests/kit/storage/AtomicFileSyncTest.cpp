// An atomic write whose data cannot be synced to disk fails and leaves the old file, so a crash can
// never leave a renamed but empty file behind.
#include "kit/AtomicFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<bool> failSyncs{false};

}  // namespace

// Every fsync of this test program lands here: while `failSyncs` is set it fails with EIO for files
// under a folder named "nosync", and otherwise syncs for real.
extern "C" int fsync(int fd)
{
    if (failSyncs.load()) {
        char link[64];
        char target[4096];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = ::readlink(link, target, sizeof target - 1);
        if (length > 0) {
            target[length] = '\0';
            if (std::strstr(target, "/nosync/")) {
                errno = EIO;
                return -1;
            }
        }
    }
    return int(::syscall(SYS_fsync, fd));
}

namespace {

TEST(AtomicFileSyncTest, AWriteWhoseDataCannotBeSyncedFailsAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nosync/state.plist"));
    ASSERT_TRUE(ombrelay::test::writeFile(path, "old"));
    failSyncs = true;
    QString error;
    const bool written = ombrelay::AtomicFile::write(path, "new", &error);
    failSyncs = false;
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ombrelay::test::readFile(path), QByteArray("old"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("nosync"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("state.plist")});
    EXPECT_TRUE(ombrelay::AtomicFile::write(path, "new"));
    EXPECT_EQ(ombrelay::test::readFile(path), QByteArray("new"));
}

}  // namespace
