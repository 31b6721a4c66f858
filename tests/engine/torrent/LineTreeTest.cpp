#include "TorrentFakes.h"
#include "TorrentFixtures.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <type_traits>

using namespace ombrelay;
using namespace ombrelay::test;

static_assert(!std::is_copy_constructible_v<OBLine> && !std::is_copy_assignable_v<OBLine>,
              "lines are identity objects");

namespace {

class LineTree : public EngineFakes
{
protected:
    void SetUp() override
    {
        EngineFakes::SetUp();
        useFakeLifecycle();
    }
    TorrentLinePtr torrentWith(const QList<FileSpec>& files, bool live, qint64 pieceLength = 16384)
    {
        TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(multiFileInfo("T", files, pieceLength)));
        EXPECT_TRUE(torrent);
        torrent->setDownloadPath("/downloads");
        if (live) {
            host.addDownload(torrent);
            torrent->beginDownloadWithState(TorrentLine::Downloading);
        }
        return torrent;
    }
    static FileLine* child(const OBLine& line, int i) { return static_cast<FileLine*>(line.children()[i].get()); }
};

}  // namespace

TEST_F(LineTree, FolderStatesAggregateTheirChildren)
{
    TorrentLinePtr torrent = torrentWith({{{"dir", "a"}, 10}, {{"dir", "b"}, 10}, {{"c"}, 10}}, false);
    FileLine* dir = child(*torrent, 0);
    EXPECT_EQ(dir->checkboxState(), OBLine::Wanted);
    ASSERT_TRUE(torrent->files().at(1)->setCheckboxState(OBLine::Skipped, false));
    EXPECT_EQ(dir->checkboxState(), OBLine::Mixed);
    ASSERT_TRUE(dir->setCheckboxState(OBLine::Skipped, false));
    EXPECT_EQ(dir->checkboxState(), OBLine::Skipped);
    EXPECT_EQ(torrent->files().at(0)->checkboxState(), OBLine::Skipped);
    EXPECT_TRUE(torrent->hasDisabledFiles());
    EXPECT_EQ(torrent->numberOfActiveFiles(), 1);
    EXPECT_EQ(torrent->totalSize(), 10u);
    EXPECT_FALSE(dir->setCheckboxState(OBLine::Mixed, false)) << "mixed is an aggregate, not a state to store";
}

TEST_F(LineTree, AtLeastOneFileStaysWanted)
{
    TorrentLinePtr torrent = torrentWith({{{"dir", "a"}, 10}, {{"dir", "b"}, 10}, {{"c"}, 10}}, true);
    FileLine* dir = child(*torrent, 0);
    FileLine* c = torrent->files().at(2);
    ASSERT_TRUE(c->setCheckboxState(OBLine::Skipped, true));
    EXPECT_FALSE(dir->checkboxIsEnabled()) << "a click could only be refused";
    EXPECT_FALSE(dir->setCheckboxState(OBLine::Skipped, true)) << "the folder holds every wanted file";
    EXPECT_EQ(dir->checkboxState(), OBLine::Wanted);

    ASSERT_TRUE(torrent->files().at(0)->setCheckboxState(OBLine::Skipped, true));
    FileLine* last = torrent->files().at(1);
    EXPECT_FALSE(last->checkboxIsEnabled());
    last->performAction();  // the row action toggles: it must not skip the last wanted file
    EXPECT_EQ(last->checkboxState(), OBLine::Wanted);
    EXPECT_EQ(torrent->numberOfActiveFiles(), 1);
    EXPECT_FALSE(torrent->isComplete()) << "an empty download never completes";
    EXPECT_EQ(torrent->amountRequested().value(), 10u);

    c->performAction();
    EXPECT_EQ(c->checkboxState(), OBLine::Wanted);
    EXPECT_TRUE(last->checkboxIsEnabled());
    EXPECT_TRUE(dir->checkboxIsEnabled()) << "a wanted file lies outside the folder again";
}

TEST_F(LineTree, CompleteWantedFilesCannotBeSkipped)
{
    TorrentLinePtr torrent = torrentWith({{{"a"}, 16384}, {{"b"}, 16384}, {{"empty"}, 0}}, true);
    torrent->recordedStoredBlocks().addIndex(0);
    torrent->downloadedBlocks().addIndex(0);
    FileLine* a = torrent->files().at(0);
    FileLine* b = torrent->files().at(1);
    FileLine* empty = torrent->files().at(2);
    EXPECT_TRUE(a->isComplete());
    EXPECT_FALSE(a->checkboxIsEnabled());
    EXPECT_FLOAT_EQ(a->fractionLoaded(), 1.0f);
    EXPECT_FALSE(b->isComplete());
    EXPECT_TRUE(b->checkboxIsEnabled());
    EXPECT_FLOAT_EQ(b->fractionLoaded(), 0.0f);
    EXPECT_TRUE(empty->isComplete()) << "a wanted zero-length file has nothing missing";
    EXPECT_FLOAT_EQ(empty->fractionLoaded(), 1.0f);
    ASSERT_TRUE(b->setCheckboxState(OBLine::Skipped, true));
    EXPECT_FALSE(b->isComplete()) << "skipped files are never complete";
}

TEST_F(LineTree, FileFractionsCountReceivedBlocks)
{
    // Piece length 32768: two blocks per piece; file a covers blocks 0-3, b blocks 3-4.
    TorrentLinePtr torrent = torrentWith({{{"a"}, 60000}, {{"b"}, 20000}}, true, 32768);
    FileLine* a = torrent->files().at(0);
    FileLine* b = torrent->files().at(1);
    EXPECT_EQ(a->blockRange(), PZMakeRange(0, 4));
    EXPECT_EQ(b->blockRange(), PZMakeRange(3, 2));
    EXPECT_EQ(b->blocks().indexArray(), (std::vector<quint64>{3, 4}));
    torrent->downloadedBlocks().addIndex(3);
    EXPECT_FLOAT_EQ(a->fractionLoaded(), 0.25f);
    EXPECT_FLOAT_EQ(b->fractionLoaded(), 0.5f);

    TorrentLinePtr result = torrentWith({{{"a"}, 60000}, {{"b"}, 20000}}, false, 32768);
    EXPECT_FALSE(result->files().at(0)->isComplete());
    EXPECT_FLOAT_EQ(result->files().at(1)->fractionLoaded(), 0.5f) << "a result line reads its live torrent";
}

TEST_F(LineTree, RowActionOnAResultDownloadsOnlyThatContent)
{
    TorrentLinePtr torrent = torrentWith({{{"dir", "a"}, 10}, {{"dir", "b"}, 10}, {{"c"}, 10}}, false);
    child(*torrent, 0)->performAction();
    ASSERT_EQ(lifecycle.downloaded.size(), 1);
    EXPECT_EQ(lifecycle.downloaded.first(), torrent);
    EXPECT_EQ(torrent->numberOfActiveFiles(), 2);
    EXPECT_EQ(torrent->files().at(2)->checkboxState(), OBLine::Skipped);
}

TEST_F(LineTree, FilesTexts)
{
    const qint64 MB = 1000 * 1000;
    struct Case { QList<FileSpec> files; const char* text; const char* shortText; };
    const QList<Case> cases = {
        {{{{"1.mp3"}, 10 * MB}, {{"2.mp3"}, 10 * MB}, {{"3.MP3"}, 10 * MB}, {{"c.jpg"}, MB}, {{"r.txt"}, 1000}},
         "3 MP3 files, 2 others", "5 files"},
        {{{{"m.avi"}, 4000 * MB}, {{"1.srt"}, 50000}, {{"2.srt"}, 50000}, {{"3.srt"}, 50000}, {{"4.srt"}, 50000},
          {{"5.srt"}, 50000}},
         "1 AVI file, 5 others", "6 files"},
        {{{{"a.b"}, 5}, {{"c.a"}, 5}}, "1 A file, 1 other", "2 files"},
        {{{{"x.iso"}, 5}}, "1 ISO file", "1 file"},
    };
    for (const Case& c : cases) {
        TorrentLinePtr torrent = torrentWith(c.files, false, 4 * 1024 * 1024);
        EXPECT_EQ(torrent->filesText(), c.text);
        EXPECT_EQ(torrent->filesTextShort(), c.shortText);
    }
    TorrentLinePtr single = TorrentLine::torrentLineForData(metainfo(singleFileInfo("s.iso", 10)));
    EXPECT_EQ(single->filesText(), "1 file");
    EXPECT_EQ(single->fileCount(), 1);
    EXPECT_EQ(single->numberOfActiveFiles(), 1);
    EXPECT_EQ(single->childrenFlat().size(), 0) << "a single-file torrent has no file lines";
    FileLine leaf("x", nullptr, nullptr, 0);
    EXPECT_EQ(leaf.childrenFlat(), QList<OBLine*>{&leaf});
}

TEST_F(LineTree, ChildWithPathMatchesExactly)
{
    TorrentLinePtr torrent = torrentWith({{{"Dir", "a"}, 1}, {{"dir", "b"}, 1}}, false);
    EXPECT_EQ(torrent->childWithPath("dir"), child(*torrent, 1));
    EXPECT_EQ(torrent->childWithPath("Dir"), child(*torrent, 0));
    EXPECT_EQ(torrent->childWithPath("DIR"), nullptr);
    EXPECT_EQ(child(*torrent, 0)->pathExtension(), "");
    EXPECT_EQ(torrent->files().at(0)->parent(), child(*torrent, 0));
}

TEST_F(LineTree, PreviewItems)
{
    QTemporaryDir dir;
    TorrentLinePtr torrent = TorrentLine::torrentLineForData(
        metainfo(multiFileInfo("T", {{{"preview-test-song.mp3"}, 4}, {{"notes.txt"}, 4}})));
    ASSERT_TRUE(torrent);
    torrent->setDownloadPath(dir.path());
    for (FileLine* file : torrent->files())
        ASSERT_TRUE(writeFile(file->fullPath(), "data"));
    FileLine* song = torrent->files().at(0);
    FileLine* notes = torrent->files().at(1);
    EXPECT_EQ(notes->previewItemURL(), QUrl::fromLocalFile(notes->fullPath()));

    // An incomplete mp3 is previewed from a copy in the temporary folder, made again at each look.
    EXPECT_TRUE(notes->previewCopySource().isEmpty());
    EXPECT_EQ(song->previewCopySource(), song->fullPath());
    const QUrl copy = song->previewItemURL();
    ASSERT_FALSE(copy.isEmpty());
    EXPECT_EQ(QFileInfo(copy.toLocalFile()).dir().absolutePath(), QDir(AppPaths::temporaryDirectory()).absolutePath());
    for (const QByteArray arrived : {"data", "more data"}) {
        ASSERT_TRUE(writeFile(song->fullPath(), arrived));
        ASSERT_TRUE(OBLine::makePreviewCopy(song->previewCopySource(), song->previewItemURL()));
        EXPECT_EQ(readFile(copy.toLocalFile()), arrived);
    }
    QFile::remove(copy.toLocalFile());
}
