#include "engine/storage/MappedFileHasher.h"

#include "engine/storage/OpenFile.h"
#include "kit/PZCrypto.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ombrelay;
using ombrelay::test::seededRandomBytes;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

class MappedFileHasherTest : public ::testing::Test
{
protected:
    std::shared_ptr<OpenFile> writeFile(const QByteArray& content)
    {
        const QString path = m_dir.filePath("data");
        EXPECT_TRUE(ombrelay::test::writeFile(path, content));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        EXPECT_GE(fd, 0);
        return std::make_shared<OpenFile>(fd, path);
    }

    QTemporaryDir m_dir;
};

TEST_F(MappedFileHasherTest, RangesHashLikeTheBytesTheyCover)
{
    const QByteArray content = seededRandomBytes(9 * kMiB + 1000, 7);
    auto file = writeFile(content);
    struct Range { qint64 offset, length; };
    // In order: first window, the same window again, across the 8 MiB window edge, the file's tail, a
    // range back in the first window, an empty range.
    const Range ranges[] = {{0, 262144},     {262144, 100000},  {8 * kMiB - 5000, 20000},
                            {9 * kMiB, 1000}, {4096 * 3 + 1, 77}, {500, 0}};
    MappedFileHasher files;
    for (const Range& r : ranges) {
        Sha1Hasher hasher;
        ASSERT_TRUE(files.update(hasher, file, r.offset, r.length)) << r.offset;
        EXPECT_EQ(hasher.finish(), PZCrypto::sha1InRange(content, r.offset, r.length)) << r.offset;
    }

    // A piece split over several calls hashes as one.
    Sha1Hasher split;
    ASSERT_TRUE(files.update(split, file, kMiB, 1000));
    ASSERT_TRUE(files.update(split, file, kMiB + 1000, kMiB));
    EXPECT_EQ(split.finish(), PZCrypto::sha1InRange(content, kMiB, kMiB + 1000));

    // Ranges past the end fail.
    Sha1Hasher past;
    EXPECT_FALSE(files.update(past, file, content.size() - 1000, 1001));
    EXPECT_FALSE(files.update(past, file, content.size() + 100000, 10));
    EXPECT_TRUE(files.update(past, file, content.size() - 1000, 1000));
}

// Another program cutting the file short while its window is mapped: the next range in that window
// faults, which must fail the range and leave the process running.
TEST_F(MappedFileHasherTest, FileCutShortUnderTheMappingFailsTheRange)
{
    const QByteArray content = seededRandomBytes(2 * kMiB, 10);
    auto file = writeFile(content);
    MappedFileHasher files;
    Sha1Hasher first;
    ASSERT_TRUE(files.update(first, file, 0, 4096));
    ASSERT_EQ(::ftruncate(file->descriptor(), 8192), 0);
    Sha1Hasher second;
    EXPECT_FALSE(files.update(second, file, kMiB, 262144));

    // The hasher still works afterwards, on what is left of the file.
    Sha1Hasher third;
    ASSERT_TRUE(files.update(third, file, 0, 8192));
    EXPECT_EQ(third.finish(), PZCrypto::sha1InRange(content, 0, 8192));
}

}  // namespace
