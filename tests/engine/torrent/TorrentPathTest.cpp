#include "TorrentFixtures.h"

#include "engine/bencode/Bdecoder.h"
#include "engine/torrent/TorrentLine.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ombrelay {
namespace {

// Only a regular file within the metainfo limit is read; anything else is refused at once.
TEST(TorrentPathTest, OnlyRegularFilesWithinTheLimitAreRead)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString good = folder.filePath("good.torrent");
    ASSERT_TRUE(test::writeFile(good, test::metainfo(test::singleFileInfo("a.bin", 100))));
    const QString fifo = folder.filePath("fifo.torrent");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString big = folder.filePath("big.torrent");
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(Bdecoder::kMetainfoLimit + 1));  // sparse
    }
    QDir().mkpath(folder.filePath("folder.torrent"));
    const struct
    {
        QString path;
        bool accepted;
    } cases[] = {{good, true}, {fifo, false}, {big, false}, {folder.filePath("folder.torrent"), false},
                 {folder.filePath("missing.torrent"), false}};
    for (const auto& c : cases) {
        EXPECT_EQ(TorrentLine::torrentLineForPath(c.path) != nullptr, c.accepted) << qPrintable(c.path);
    }
}

}  // namespace
}  // namespace ombrelay
