#include "platform/MediaLibrary.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrelay {
namespace {

using test::readFile;
using test::writeFile;

ino_t inode(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

TEST(MediaLibraryTest, SafeComponentKeepsOneNameInsideItsFolder)
{
    const QString long300 = QString(300, QChar(u'a'));
    const QString accents = QString(200, QChar(u'é'));  // two bytes each
    const std::pair<QString, QString> cases[] = {
        {"Album", "Album"},
        {"", ""},
        {".", ""},
        {"..", ""},
        {"../x", ".._x"},
        {"a/b", "a_b"},
        {QString("a\nb\tc") + QChar(0x7f), "a_b_c_"},
        {"...", "..."},
        {long300, QString(255, QChar(u'a'))},
        {accents, QString(127, QChar(u'é'))},
        {QString::fromUtf8("日本"), QString::fromUtf8("日本")},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(MediaLibrary::safeComponent(text), expected) << qPrintable(text.left(20));
        EXPECT_LE(MediaLibrary::safeComponent(text).toUtf8().size(), 255);
    }
}

class MediaLibraryFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(writeFile(downloads("Album/1.mp3"), "one"));
        ASSERT_TRUE(writeFile(downloads("Album/clip.webm"), "clip"));
        ASSERT_TRUE(writeFile(downloads("notes.txt"), "text"));
    }
    QString downloads(const QString& name) const { return home.filePath("Downloads/" + name); }
    QString music(const QString& name) const { return home.filePath("Musik/" + name); }

    QTemporaryDir home;
    MediaLibrary library{{home.filePath("Musik"), home.filePath("Videos")}};
};

TEST_F(MediaLibraryFolders, EntriesKeepTheTorrentsFoldersInFilesOfTheirOwn)
{
    // File, path in the torrent, entry (empty: refused).
    const std::tuple<QString, QString, QString> cases[] = {
        {"Album/1.mp3", "Album/1.mp3", "Musik/Ombrelay/Album/1.mp3"},
        {"Album/1.mp3", "Album/1.mp3", "Musik/Ombrelay/Album/1.mp3"},  // again: the same entry
        {"Album/clip.webm", "Album/clip.webm", "Videos/Ombrelay/Album/clip.webm"},
        {"notes.txt", "notes.txt", ""},
        {"Album/1.mp3", "../../1.mp3", ""},
        {"Album/1.mp3", "Album/./1.mp3", ""},
        {"Album/1.mp3", "A\nB/1.mp3", "Musik/Ombrelay/A_B/1.mp3"},
    };
    for (const auto& [file, relative, expected] : cases) {
        const QString entry = library.addFile(downloads(file), relative);
        EXPECT_EQ(entry, expected.isEmpty() ? QString() : home.filePath(expected)) << qPrintable(relative);
        if (!entry.isEmpty()) {
            EXPECT_EQ(readFile(entry), readFile(downloads(file)));
        }
    }
    // A copy here (no clones on this file system), never the very bytes we seed; no part is left behind.
    EXPECT_NE(inode(music("Ombrelay/Album/1.mp3")), inode(downloads("Album/1.mp3")));
    EXPECT_EQ(QDir(music("Ombrelay/Album")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"1.mp3"});
    EXPECT_FALSE(QFileInfo::exists(home.filePath("1.mp3")));
}

TEST_F(MediaLibraryFolders, AnotherFileInTheWayIsKeptAndALinkIsNotFollowed)
{
    ASSERT_TRUE(writeFile(music("Ombrelay/Album/1.mp3"), "someone else's"));
    ASSERT_TRUE(writeFile(home.filePath("outside/1 2.mp3"), "outside"));
    ASSERT_EQ(::symlink(QFile::encodeName(home.filePath("outside/1 2.mp3")).constData(),
                        QFile::encodeName(music("Ombrelay/Album/1 2.mp3")).constData()), 0);
    EXPECT_EQ(library.addFile(downloads("Album/1.mp3"), "Album/1.mp3"), music("Ombrelay/Album/1 3.mp3"));
    EXPECT_EQ(readFile(music("Ombrelay/Album/1.mp3")), "someone else's");
    EXPECT_EQ(readFile(home.filePath("outside/1 2.mp3")), "outside");
    // A linked folder in the library is refused rather than written through.
    ASSERT_EQ(::symlink(QFile::encodeName(home.filePath("outside")).constData(),
                        QFile::encodeName(music("Ombrelay/Linked")).constData()), 0);
    EXPECT_EQ(library.addFile(downloads("Album/1.mp3"), "Linked/1.mp3"), QString());
    EXPECT_FALSE(QFileInfo::exists(home.filePath("outside/1.mp3")));
}

TEST_F(MediaLibraryFolders, FileAlreadyInTheMusicFolderCountsAsDone)
{
    ASSERT_TRUE(writeFile(music("Mine/song.mp3"), "mine"));
    EXPECT_EQ(library.addFile(music("Mine/song.mp3"), "song.mp3"), music("Mine/song.mp3"));
    EXPECT_FALSE(QFileInfo::exists(music("Ombrelay")));
}

// A link across file systems would let a player write through it into the seeded file: a copy too.
TEST_F(MediaLibraryFolders, AcrossFileSystemsTheEntryIsACopy)
{
    QTemporaryDir shared(QStringLiteral("/dev/shm/ombrelay-media-XXXXXX"));
    ASSERT_TRUE(shared.isValid());
    ASSERT_TRUE(writeFile(shared.filePath("2.mp3"), "two"));
    const QString entry = library.addFile(shared.filePath("2.mp3"), "2.mp3");
    ASSERT_EQ(entry, music("Ombrelay/2.mp3"));
    EXPECT_FALSE(QFileInfo(entry).isSymLink());
    EXPECT_EQ(readFile(entry), "two");
    EXPECT_EQ(library.addFile(shared.filePath("2.mp3"), "2.mp3"), entry);  // the same bytes: done
}

TEST_F(MediaLibraryFolders, PlaylistsStayInsideAndListEachEntryOnce)
{
    const QString one = music("Ombrelay/Album/1.mp3");
    // Name, file inside Musik/Playlists (empty: refused).
    const std::pair<QString, QString> cases[] = {
        {"Ombrelay", "Ombrelay.m3u8"}, {"../x", ".._x.m3u8"}, {"..", ""}, {"", ""}, {"a/b", "a_b.m3u8"}};
    for (const auto& [name, file] : cases) {
        EXPECT_EQ(library.addToPlaylist(one, name), !file.isEmpty()) << qPrintable(name);
        EXPECT_EQ(library.playlistPath(name), file.isEmpty() ? QString() : music("Playlists/" + file));
    }
    EXPECT_TRUE(library.addToPlaylist(one, "Ombrelay"));
    EXPECT_TRUE(library.addToPlaylist(music("Ombrelay/2.mp3"), "Ombrelay"));
    EXPECT_EQ(readFile(music("Playlists/Ombrelay.m3u8")), "#EXTM3U\n" + one.toUtf8() + "\n" +
                                                              music("Ombrelay/2.mp3").toUtf8() + "\n");
    EXPECT_FALSE(QFileInfo::exists(home.filePath("x.m3u8")));
    EXPECT_FALSE(library.addToPlaylist(music("a\nb.mp3"), "Ombrelay"));
    EXPECT_EQ(library.playlistNames(), (QStringList{".._x", "Ombrelay", "a_b"}));
    // A playlist that is a link elsewhere is not written through.
    ASSERT_TRUE(writeFile(home.filePath("elsewhere.m3u8"), "kept"));
    ASSERT_EQ(::symlink(QFile::encodeName(home.filePath("elsewhere.m3u8")).constData(),
                        QFile::encodeName(music("Playlists/Linked.m3u8")).constData()), 0);
    EXPECT_FALSE(library.addToPlaylist(one, "Linked"));
    EXPECT_EQ(readFile(home.filePath("elsewhere.m3u8")), "kept");
}

}  // namespace
}  // namespace ombrelay
