// An atomic write whose data cannot be synced to disk fails and leaves the old file, so a crash can
// never leave a renamed but empty file behind.
#include "kit/AtomicFile.h"
#include "support/FailingSyncs.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/syscall.h>

// Every fsync of this test program lands here (see FailingSyncs.h).
extern "C" int fsync(int fd)
{
    return ombrelay::test::refusesSync(fd) ? -1 : int(::syscall(SYS_fsync, fd));
}

namespace {

TEST(AtomicFileSyncTest, AWriteWhoseDataCannotBeSyncedFailsAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nosync/state.plist"));
    ASSERT_TRUE(ombrelay::test::writeFile(path, "old"));
    ombrelay::test::failSyncs = true;
    QString error;
    const bool written = ombrelay::AtomicFile::write(path, "new", &error);
    ombrelay::test::failSyncs = false;
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ombrelay::test::readFile(path), QByteArray("old"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("nosync"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("state.plist")});
    EXPECT_TRUE(ombrelay::AtomicFile::write(path, "new"));
    EXPECT_EQ(ombrelay::test::readFile(path), QByteArray("new"));
}

}  // namespace
