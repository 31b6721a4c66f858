// An atomic write whose data cannot be synced to disk fails and leaves the old file, so a crash can
// never leave a renamed but empty file behind; a write of the bytes a file holds already costs no sync;
// many files written together share their syncs, with the same guarantees.
#include "kit/AtomicFile.h"
#include "support/FailingSyncs.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>

namespace {
std::atomic<int> syncs{0};
std::atomic<int> fileSystemSyncs{0};
}

// Every fsync of this test program lands here (see FailingSyncs.h).
extern "C" int fsync(int fd)
{
    ++syncs;
    return ombrelay::test::refusesSync(fd) ? -1 : int(::syscall(SYS_fsync, fd));
}

// And every syncfs, failing for a folder named "nosync" as fsync does.
extern "C" int syncfs(int fd)
{
    ++fileSystemSyncs;
    return ombrelay::test::refusesSync(fd) ? -1 : int(::syscall(SYS_syncfs, fd));
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
        if (c.stored) {
            ASSERT_TRUE(ombrelay::test::writeFile(path, *c.stored));
        }
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

TEST(AtomicFileSyncTest, ManyFilesWrittenTogetherShareTwoSyncsAndKeepTheOldFilesWhenTheSyncFails)
{
    using ombrelay::AtomicFile;
    constexpr int kFiles = AtomicFile::kOwnSyncsUpTo + 8;
    const struct
    {
        const char* name;
        const char* folder;
        int files;
        bool failing;
        int ownSyncs;        // fsync calls
        int sharedSyncs;     // syncfs calls
        bool written;
    } cases[] = {
        // One removal (its folder synced) and the rest written (file and folder synced).
        {"a few files sync each on its own", "few", AtomicFile::kOwnSyncsUpTo, false, 2 * AtomicFile::kOwnSyncsUpTo - 1, 0, true},
        {"many files share their syncs", "many", kFiles, false, 0, 2, true},
        {"a failed shared sync keeps every old file", "nosync", kFiles, true, 0, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QVector<AtomicFile::Change> changes;
        for (int i = 0; i < c.files; ++i) {
            const QString path = dir.filePath(QStringLiteral("%1/t%2/state.plist").arg(QLatin1String(c.folder)).arg(i));
            ASSERT_TRUE(ombrelay::test::writeFile(path, "old"));
            changes.append({path, i == 0 ? std::nullopt : std::optional(QByteArray::number(i))});
        }
        // Already as asked: left alone.
        changes.append({dir.filePath(QStringLiteral("%1/never-there").arg(QLatin1String(c.folder))), std::nullopt});
        const int syncsBefore = syncs.load();
        const int fileSystemSyncsBefore = fileSystemSyncs.load();
        ombrelay::test::failSyncs = c.failing;
        const QStringList errors = AtomicFile::applyAll(changes);
        ombrelay::test::failSyncs = false;
        EXPECT_EQ(syncs.load() - syncsBefore, c.ownSyncs);
        EXPECT_EQ(fileSystemSyncs.load() - fileSystemSyncsBefore, c.sharedSyncs);
        ASSERT_EQ(errors.size(), changes.size());
        EXPECT_TRUE(errors.first().isEmpty()) << "a removal needs no synced data";
        EXPECT_FALSE(QFileInfo::exists(changes.first().path));
        for (int i = 1; i < c.files; ++i) {
            EXPECT_EQ(ombrelay::test::readFile(changes[i].path), c.written ? *changes[i].bytes : QByteArray("old")) << i;
            EXPECT_EQ(errors[i].isEmpty(), c.written) << errors[i].toStdString();
            EXPECT_EQ(QDir(QFileInfo(changes[i].path).path()).entryList(QDir::Files | QDir::Hidden),
                      QStringList{QStringLiteral("state.plist")}) << "no temporary file is left behind";
        }
        EXPECT_TRUE(errors.last().isEmpty());
    }
}

}  // namespace
