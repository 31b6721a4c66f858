// An atomic write whose data cannot be synced to disk fails and leaves the old file, so a crash can
// never leave a renamed but empty file behind; a write of the bytes a file holds already costs no sync.
#include "kit/AtomicFile.h"
#include "support/FailingSyncs.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <optional>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>

namespace {
std::atomic<int> syncs{0};
}

// Every fsync of this test program lands here (see FailingSyncs.h).
extern "C" int fsync(int fd)
{
    ++syncs;
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

TEST(AtomicFileSyncTest, AWriteOfTheBytesAFileHoldsAlreadyLeavesItAlone)
{
    const struct
    {
        const char* name;
        std::optional<QByteArray> stored;  // none: no file
        QByteArray asked;
        bool written;
    } cases[] = {
        {"the same bytes", QByteArray("state 3"), QByteArray("state 3"), false},
        {"an empty file asked to stay empty", QByteArray(""), QByteArray(""), false},
        {"one byte changed", QByteArray("state 3"), QByteArray("state 1"), true},
        {"a longer file with the same start", QByteArray("state 3 and more"), QByteArray("state 3"), true},
        {"a shorter file with the same start", QByteArray("state"), QByteArray("state 3"), true},
        {"no file yet", std::nullopt, QByteArray("state 3"), true},
        {"no file yet, asked to be empty", std::nullopt, QByteArray(""), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("state.plist"));
        if (c.stored)
            ASSERT_TRUE(ombrelay::test::writeFile(path, *c.stored));
        struct stat before = {};
        ::stat(QFile::encodeName(path).constData(), &before);
        const int syncsBefore = syncs.load();
        EXPECT_TRUE(ombrelay::AtomicFile::writeIfDifferent(path, c.asked));
        EXPECT_EQ(ombrelay::test::readFile(path), c.asked);
        EXPECT_EQ(syncs.load() > syncsBefore, c.written) << "a write syncs its file and folder; none syncs nothing";
        struct stat after = {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
        EXPECT_EQ(after.st_ino != before.st_ino, c.written) << "a write replaces the file";
    }
}

}  // namespace
