#include "kit/FileHelpers.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

TEST(FileHelpers, CreateFileAtPathRecursiveMakesFoldersAndKeepsExistingFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("a/b/c/file.bin");
    ASSERT_TRUE(createFileAtPathRecursive(path));
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_EQ(QFileInfo(path).size(), 0);

    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("downloaded data");
    }
    ASSERT_TRUE(createFileAtPathRecursive(path));
    EXPECT_EQ(QFileInfo(path).size(), 15); // not truncated

    EXPECT_FALSE(createFileAtPathRecursive(dir.filePath("a/b")));                   // a folder is there
    EXPECT_FALSE(createFileAtPathRecursive(dir.filePath("a/b/c/file.bin/inside"))); // a file is in the way
}

TEST(FileHelpers, IncreaseLengthToNeverShrinks)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("f"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write("12345");
    file.flush();

    EXPECT_TRUE(increaseLengthTo(file.handle(), 3));
    EXPECT_EQ(QFileInfo(file.fileName()).size(), 5);
    EXPECT_TRUE(increaseLengthTo(file.handle(), 5ll << 30)); // sparse, past 32 bits
    EXPECT_EQ(QFileInfo(file.fileName()).size(), 5ll << 30);
    file.seek(0);
    EXPECT_EQ(file.read(6), QByteArray("12345\0", 6));

    EXPECT_FALSE(increaseLengthTo(-1, 10));
}
