#include "engine/lifecycle/LifecycleFixture.h"
#include "engine/lifecycle/TmpfsMount.h"
#include "engine/storage/ContentMover.h"
#include "engine/storage/PieceStore.h"
#include "engine/storage/TorrentStorage.h"
#include "kit/PropertyList.h"

#include <sys/stat.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

enum class Target { SameDisk, OtherDisk, FullDisk };

struct RelocationCase
{
    const char* name;
    Target target;
    friend void PrintTo(const RelocationCase& c, std::ostream* os) { *os << c.name; }
};

class RelocationTest : public LifecycleTest, public ::testing::WithParamInterface<RelocationCase>
{
protected:
    static quint64 deviceOf(const QString& path)
    {
        struct stat st;
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_dev) : 0;
    }
    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

const QList<FileSpec> kAlbum = {{{"cd1", "a.bin"}, 100000}, {{"b.bin"}, 60000}};

}  // namespace

TEST_P(RelocationTest, CompletedContentLeavesTheIncompleteFolderOrStaysWhole)
{
    const Target target = GetParam().target;
    QTemporaryDir otherDisk(QStringLiteral("/dev/shm/ombrelay-test-XXXXXX"));
    QString incomplete = dir.filePath("incomplete");
    QString finalFolder = downloads;
    std::unique_ptr<TmpfsMount> fullDisk;
    if (target == Target::OtherDisk) {
        if (!otherDisk.isValid() || deviceOf(otherDisk.path()) == deviceOf(downloads))
            GTEST_SKIP() << "no second file system for the incomplete folder";
        incomplete = otherDisk.filePath("incomplete");
    } else if (target == Target::FullDisk) {
        finalFolder = dir.filePath("small");
        fullDisk = std::make_unique<TmpfsMount>(finalFolder, "size=64k,mode=0755");
        if (!fullDisk->isMounted())
            GTEST_SKIP() << "cannot mount a small file system here";
    }
    Settings& settings = Settings::instance();
    settings.setValue("save_directory", finalFolder);
    settings.setValue("kUseIncompleteFolder", "1");
    settings.setValue("kIncompleteFolder", incomplete);

    const RealTorrent t = RealTorrent::make("Album", kAlbum, 16384, 21);
    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(t.metainfo);
    ASSERT_TRUE(torrent);
    session->adder().addTorrentLines({torrent}, false, false, false);
    ASSERT_EQ(torrent->downloadPath(), incomplete);
    ASSERT_TRUE(torrent->shouldRelocateOnCompletion());
    const QString sessionFolder = session->lifecycle().sessionPath(*torrent);
    for (quint32 p = 0; p < t.pieceCount(); ++p)
        ASSERT_TRUE(feedPiece(*torrent, t, p, "10.0.0.1:1"));
    ASSERT_TRUE(waitUntil([&] { return !host.notices.isEmpty(); }, 20000));
    EXPECT_TRUE(torrent->isComplete());

    const bool moved = target != Target::FullDisk;
    const QString home = moved ? finalFolder : incomplete;
    EXPECT_EQ(host.notices.join(' ').toStdString(), QDir(home).filePath("Album").toStdString())
        << "one notice, naming where the data is";
    EXPECT_EQ(torrent->downloadPath().toStdString(), home.toStdString());
    EXPECT_EQ(torrent->shouldRelocateOnCompletion(), !moved) << "a failed move is tried again later";
    EXPECT_EQ(readFile(QDir(home).filePath("Album/cd1/a.bin")), t.content.left(100000));
    EXPECT_EQ(readFile(QDir(home).filePath("Album/b.bin")), t.content.mid(100000));
    EXPECT_TRUE(waitUntil([&] {
        SessionLifecycle::cleanupQueue().drain();
        return entries(moved ? incomplete : finalFolder).isEmpty();
    })) << "the source is removed after a copy; a failed copy leaves nothing behind";
    const QVariantMap record = PropertyList::read(sessionFolder + "/torrent.plist", 1 << 20).toMap();
    EXPECT_EQ(record.value("downloadPath").toString().toStdString(), home.toStdString());

    // The store serves the verified data from where it is now.
    bool answered = false;
    std::optional<QByteArray> served;
    torrent->pieceStore()->readSpan(7, 0, 16384, [&](std::optional<QByteArray> data) {
        served = std::move(data);
        answered = true;
    });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_EQ(served.value_or(QByteArray()), t.content.mid(7 * 16384, 16384));
    EXPECT_EQ(torrent->downloadedPieces().count(), t.pieceCount());
    ASSERT_TRUE(waitUntil([&] { return !host.notices.isEmpty(); }));
    spinFor(200); // time for a second notice, which must not come
    EXPECT_EQ(host.notices.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Places, RelocationTest,
                         ::testing::Values(RelocationCase{"SameDisk", Target::SameDisk},
                                           RelocationCase{"OtherDisk", Target::OtherDisk},
                                           RelocationCase{"FullDisk", Target::FullDisk}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ContentMover, CopiesATreeWithLinksAndRemovesItsPartOnFailure)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString from = dir.filePath("tree");
    ASSERT_TRUE(QDir().mkpath(from + "/sub/empty"));
    ASSERT_TRUE(writeFile(from + "/sub/data.bin", QByteArray(3 * 1024 * 1024 + 5, 'x')));
    ASSERT_TRUE(QFile::link("sub/data.bin", from + "/link"));

    QString error;
    ASSERT_TRUE(ContentMover::copy(from, dir.filePath("copy"), &error)) << qPrintable(error);
    EXPECT_EQ(QFileInfo(dir.filePath("copy/sub/data.bin")).size(), 3 * 1024 * 1024 + 5);
    EXPECT_TRUE(QFileInfo(dir.filePath("copy/sub/empty")).isDir());
    EXPECT_EQ(QFileInfo(dir.filePath("copy/link")).symLinkTarget(), dir.filePath("copy/sub/data.bin"));

    EXPECT_FALSE(ContentMover::copy(from, dir.filePath("copy"), &error)) << "never over something there";
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("copy/sub/data.bin"))) << "what was there stays";
    EXPECT_FALSE(ContentMover::copy(dir.filePath("missing"), dir.filePath("other"), &error));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("other")));
    EXPECT_TRUE(QFileInfo::exists(from + "/sub/data.bin"));
}
