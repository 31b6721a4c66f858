#include "engine/storage/OpenFile.h"
#include "support/RandomContent.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

// A vectored write puts every piece right after the one before, from the offset on, also when there are
// more pieces than one system call takes and some are empty.
TEST(OpenFile, VectoredWriteLaysPiecesEndToEnd)
{
    struct Case
    {
        const char* name;
        int pieces;
        qint64 offset;
    };
    const Case cases[] = {
        {"nothing", 0, 40},
        {"one piece", 1, 0},
        {"a few, past a gap", 7, 12345},
        {"more than one call takes", 3000, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file.bin"));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        OpenFile file(fd, path);
        QByteArray content;
        std::vector<QByteArray> parts;
        for (int i = 0; i < c.pieces; ++i) {
            parts.push_back(test::seededRandomBytes(i % 5 == 4 ? 0 : 1 + (i * 7919) % 3001, quint32(i + 1)));
            content += parts.back();
        }
        std::vector<iovec> pieces;
        for (QByteArray& part : parts)
            pieces.push_back({part.data(), size_t(part.size())});
        ASSERT_TRUE(file.writeAt(std::move(pieces), c.offset));
        const QByteArray written = test::readFile(path);
        ASSERT_EQ(written.size(), content.isEmpty() ? 0 : c.offset + content.size());
        EXPECT_EQ(written.left(c.offset), content.isEmpty() ? QByteArray() : QByteArray(c.offset, '\0'));
        EXPECT_EQ(written.mid(c.offset), content);
    }
}

}  // namespace
