#include "TorrentFixtures.h"
#include "engine/torrent/FileLine.h"
#include "engine/torrent/Metainfo.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/TextHelpers.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QByteArray minimalMetainfo()
{
    return QByteArrayLiteral("d8:announce30:http://127.0.0.1:6969/announce4:infod6:lengthi5e4:name5:a.txt"
                             "12:piece lengthi16384e6:pieces20:") +
           PZCrypto::sha1(QByteArrayLiteral("hello")) + QByteArrayLiteral("ee");
}

FileLine* fileAt(const TorrentLine& torrent, int index)
{
    return torrent.files().at(index);
}

}  // namespace

TEST(Metainfo, MinimalSingleFileVectors)
{
    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(minimalMetainfo());
    ASSERT_TRUE(torrent);
    EXPECT_EQ(hexString(torrent->infoHash()), "de3edc1dfa1958affac1dbdc8f34d4d6dac43f00");
    EXPECT_EQ(torrent->escapedInfoHash(), "%DE%3E%DC%1D%FA%19X%AF%FA%C1%DB%DC%8F4%D4%D6%DA%C4%3F%00");
    EXPECT_EQ(hexString(torrent->obfuscatedInfoHash()), "51ffb24c9cfff91b7e3f217a9ff80a669e27e83b");
    EXPECT_EQ(torrent->path(), "a.txt");
    EXPECT_EQ(torrent->torrentData(), minimalMetainfo());
    EXPECT_TRUE(torrent->isLeaf());
    EXPECT_EQ(torrent->fileIndex(), 0u);
    EXPECT_EQ(torrent->byteRange(), PZMakeRange(0, 5));
    EXPECT_EQ(torrent->fileCount(), 1);
    EXPECT_EQ(torrent->filesText(), "1 file");
    EXPECT_EQ(torrent->pieceLength(), 16384u);
    EXPECT_EQ(torrent->numberOfBlocksPerPiece(), 1u);
    EXPECT_EQ(torrent->totalNumberOfPieces(), 1u);
    EXPECT_EQ(torrent->totalNumberOfBlocks(), 1u);
    EXPECT_EQ(torrent->trackerListHTTP(), QStringList{"http://127.0.0.1:6969/announce"});
    EXPECT_EQ(torrent->announceURL().host(), "127.0.0.1");
    EXPECT_EQ(torrent->checkboxState(), OBLine::NoCheckbox);
}

TEST(Metainfo, FileTreeRangesAndFullPaths)
{
    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(
        metainfo(multiFileInfo("T", {{{"a", "b", "c.txt"}, 10}, {{"d.txt"}, 5}, {{"x", "b", "c.txt"}, 1}})));
    ASSERT_TRUE(torrent);
    torrent->setDownloadPath("/downloads");
    ASSERT_EQ(torrent->children().size(), 3u);
    EXPECT_EQ(torrent->children()[0]->path(), "a");
    EXPECT_EQ(torrent->children()[1]->path(), "d.txt");
    EXPECT_EQ(torrent->byteRange(), PZMakeRange(0, 16));
    EXPECT_EQ(torrent->fileIndex(), OBLine::kNoFileIndex);
    ASSERT_EQ(torrent->files().size(), 3);

    // Same names in different folders stay apart.
    struct Case { int index; const char* name; PZRange range; const char* fullPath; };
    const Case cases[] = {
        {0, "c.txt", PZMakeRange(0, 10), "/downloads/T/a/b/c.txt"},
        {1, "d.txt", PZMakeRange(10, 5), "/downloads/T/d.txt"},
        {2, "c.txt", PZMakeRange(15, 1), "/downloads/T/x/b/c.txt"},
    };
    for (const Case& c : cases) {
        const FileLine* file = fileAt(*torrent, c.index);
        EXPECT_EQ(file->path(), c.name);
        EXPECT_EQ(file->fileIndex(), quint32(c.index));
        EXPECT_EQ(file->byteRange(), c.range) << c.name;
        EXPECT_EQ(file->fullPath(), c.fullPath);
    }
    const auto* folderA = static_cast<const FileLine*>(torrent->children()[0].get());
    EXPECT_TRUE(folderA->isFolder());
    EXPECT_EQ(folderA->byteRange(), PZMakeRange(0, 10));
    EXPECT_EQ(folderA->fullPath(), "/downloads/T/a");
    EXPECT_EQ(folderA->parent(), torrent.get());

    torrent->setDownloadPath("/elsewhere");
    EXPECT_EQ(fileAt(*torrent, 2)->fullPath(), "/elsewhere/T/x/b/c.txt");
    EXPECT_EQ(folderA->fullPath(), "/elsewhere/T/a");
}

// Made by a current client (tests/support/torrents): each file is followed by a padding entry ".pad/9152".
TEST(Metainfo, PaddingEntriesAreNeitherListedNorCounted)
{
    const TorrentLinePtr torrent =
        TorrentLine::torrentLineForData(readFile(testSourcePath("support/torrents/padded.torrent")));
    ASSERT_TRUE(torrent) << "two padding entries of one length share a path";
    EXPECT_EQ(torrent->totalLength(), 3u * 49152) << "the pieces cover the padding";
    EXPECT_EQ(torrent->fileLength(), 3u * 40000);
    EXPECT_EQ(torrent->filesText(), "3 BIN files");
    EXPECT_EQ(torrent->pathListString(), "payload\nfile0.bin\nfile1.bin\nfile2.bin");
    const struct
    {
        const char* name;
        quint32 index;  // its entry's number, padding counted
        PZRange range;
    } cases[] = {{"file0.bin", 0, PZMakeRange(0, 40000)},
                 {"file1.bin", 2, PZMakeRange(49152, 40000)},
                 {"file2.bin", 4, PZMakeRange(98304, 40000)}};
    ASSERT_EQ(torrent->files().size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fileAt(*torrent, i)->path(), cases[i].name);
        EXPECT_EQ(fileAt(*torrent, i)->fileIndex(), cases[i].index) << cases[i].name;
        EXPECT_EQ(fileAt(*torrent, i)->byteRange(), cases[i].range) << cases[i].name;
    }
}

// Counted bytes follow each block's true length: the torrent's last block and the last block of every
// piece whose length is not a multiple of 16 KiB are short.
TEST(Metainfo, BytesOfBlocks)
{
    struct Case
    {
        qint64 pieceLength;
        QList<quint64> blocks;
        quint64 bytes;
    };
    const Case cases[] = {
        {262144, {0, 1}, 32768}, {262144, {36}, 10176}, {262144, {0, 36}, 26560},
        {100000, {6}, 1696},     {100000, {6, 7}, 18080}, {100000, {41}, 1696},
    };
    for (const Case& c : cases) {
        const TorrentLinePtr torrent =
            TorrentLine::torrentLineForData(metainfo(singleFileInfo("f", 600000, c.pieceLength)));
        ASSERT_TRUE(torrent);
        PZIndexSet blocks(torrent->totalNumberOfBlocks());
        for (quint64 b : c.blocks)
            blocks.addIndex(b);
        EXPECT_EQ(torrent->bytesOfBlocks(blocks), c.bytes) << c.pieceLength << " " << c.blocks.first();
    }
}

TEST(Metainfo, TrackerLists)
{
    struct Case
    {
        const char* label;
        BValue announceList;  // null: absent
        BValue announce;      // null: absent
        bool accepted;
        QStringList http;
        QStringList udp;
    };
    const Case cases[] = {
        {"tiers beat announce",
         BValue::List{pathList({"udp://A:80"}), pathList({"http://B/announce", "http://C/announce"})},
         "http://D/announce", true, {"http://B/announce", "http://C/announce"}, {"udp://A:80"}},
        {"empty list, no announce", BValue::list(), {}, true, {}, {}},
        {"no list, no announce: trackerless", {}, {}, true, {}, {}},
        {"announce only", {}, "http://D/announce", true, {"http://D/announce"}, {}},
        {"schemes",
         BValue::List{"HTTPS://E/announce", pathList({"wss://F", "ftp://G", "http://tracker.thepiratebay.org/announce"})},
         {}, true, {"HTTPS://E/announce"}, {}},
        {"integer tier", BValue::List{5}, {}, false, {}, {}},
        {"integer tracker", BValue::List{BValue(BValue::List{5})}, {}, false, {}, {}},
        {"integer announce", {}, 1, false, {}, {}},
    };
    for (const Case& c : cases) {
        BValue top = BValue::Dict{{"info", singleFileInfo("f", 10)}};
        if (!c.announceList.isNull())
            top.insert("announce-list", c.announceList);
        if (!c.announce.isNull())
            top.insert("announce", c.announce);
        const TorrentLinePtr torrent = TorrentLine::torrentLineForData(Bencoder::bencodingForObject(top));
        ASSERT_EQ(bool(torrent), c.accepted) << c.label;
        if (!torrent)
            continue;
        EXPECT_EQ(torrent->trackerListHTTP(), c.http) << c.label;
        EXPECT_EQ(torrent->trackerListUDP(), c.udp) << c.label;
    }
}

TEST(Metainfo, AnnounceErrorDropsTheFirstTracker)
{
    const BValue top = BValue::Dict{{"announce-list", BValue::List{pathList({"http://B/announce", "http://C/announce"})}},
                                    {"info", singleFileInfo("f", 10)}};
    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(Bencoder::bencodingForObject(top));
    ASSERT_TRUE(torrent);
    torrent->handleAnnounceError();
    EXPECT_EQ(torrent->announceURL(), QUrl("http://C/announce"));
    torrent->handleAnnounceError();
    torrent->handleAnnounceError();
    EXPECT_TRUE(torrent->announceURL().isEmpty());
}

TEST(Metainfo, DhtNodesAreParsedStrictly)
{
    BValue nodes = BValue::list();
    const std::pair<const char*, qint64> entries[] = {
        {"1.2.3.4", 6881}, {"router", 6881}, {"5.6.7.8", 0},     {"224.0.0.1", 6881}, {"0.0.0.0", 6881},
        {"255.255.255.255", 6881}, {"9.9.9.9", 70000}, {"1.2.3", 6881}, {"1.2.3.4", 6881},
    };
    for (const auto& [host, port] : entries)
        nodes.append(BValue::List{host, port});
    nodes.append("not a list");
    const BValue top =
        BValue::Dict{{"announce", "http://t/announce"}, {"nodes", nodes}, {"info", singleFileInfo("f", 10)}};
    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(Bencoder::bencodingForObject(top));
    ASSERT_TRUE(torrent);
    ASSERT_EQ(torrent->dhtNodes().size(), 1);
    EXPECT_EQ(torrent->dhtNodes().first().toString(), "1.2.3.4:6881");
}

// Every metainfo here must be refused: names or paths that leave the folder, inconsistent geometry,
// wrong types, absurd sizes.
TEST(Metainfo, HostileCorpusIsRefused)
{
    struct Case { const char* label; QByteArray data; };
    QList<Case> cases;
    const auto add = [&](const char* label, BValue info) { cases.append({label, metainfo(std::move(info))}); };

    for (const char* name : {"..", ".", "", "a/b", "/etc", "../../x"})
        add(name, singleFileInfo(name, 10));
    add("NUL in name", singleFileInfo(QString::fromLatin1("a\0b", 3), 10));
    add("traversal in path", multiFileInfo("T", {{{"..", "x"}, 1}}));
    add("dot in path", multiFileInfo("T", {{{"a", ".", "x"}, 1}}));
    add("absolute path component", multiFileInfo("T", {{{"/etc/passwd"}, 1}}));
    add("slash inside component", multiFileInfo("T", {{{"a/../../b"}, 1}}));
    add("empty component", multiFileInfo("T", {{{"a", ""}, 1}}));
    add("NUL in path", multiFileInfo("T", {{{QString::fromLatin1("x\0y", 3)}, 1}}));
    add("empty path list", multiFileInfo("T", {{{}, 1}}));
    add("duplicate paths", multiFileInfo("T", {{{"a", "b"}, 1}, {{"a", "b"}, 2}}));
    add("file then folder", multiFileInfo("T", {{{"a"}, 1}, {{"a", "b"}, 2}}));
    add("folder then file", multiFileInfo("T", {{{"a", "b"}, 1}, {{"a"}, 2}}));
    add("no files", multiFileInfo("T", {}));
    add("zero total", multiFileInfo("T", {{{"a"}, 0}, {{"b"}, 0}}));
    add("single zero length", singleFileInfo("f", 0));
    add("negative length", multiFileInfo("T", {{{"a"}, -5}, {{"b"}, 10}}));
    add("sum overflows", multiFileInfo("T", {{{"a"}, std::numeric_limits<qint64>::max()}, {{"b"}, 1}}));
    add("2^62 length", singleFileInfo("f", qint64(1) << 62));
    for (const qint64 pieceLength : {qint64(0), qint64(-16384), qint64(1) << 31, qint64(1) << 32})
        add("piece length", with(with(singleFileInfo("f", 100), "piece length", pieceLength), "pieces", QByteArray(20, 'p')));
    const BValue threePieces = singleFileInfo("f", 40000);
    add("too few pieces", with(threePieces, "pieces", QByteArray(40, 'p')));
    add("too many pieces", with(threePieces, "pieces", QByteArray(80, 'p')));
    add("ragged pieces", with(threePieces, "pieces", QByteArray(61, 'p')));
    add("integer pieces", with(threePieces, "pieces", 3));
    add("integer name", with(singleFileInfo("f", 100), "name", 7));
    add("text length", with(singleFileInfo("f", 100), "length", "100"));
    add("text piece length", with(singleFileInfo("f", 100), "piece length", "16384"));
    add("files not a list", with(singleFileInfo("f", 100), "files", "x"));
    const auto onlyEntry = [&](BValue entry) {
        return with(multiFileInfo("T", {{{"a"}, 1}}), "files", BValue::List{std::move(entry)});
    };
    add("file entry not a dictionary", onlyEntry("a"));
    add("path not a list", onlyEntry(BValue::Dict{{"length", 1}, {"path", "a"}}));
    add("only padding", onlyEntry(BValue::Dict{{"attr", "p"}, {"length", 1}, {"path", BValue::List{".pad", "1"}}}));
    add("integer path component", onlyEntry(BValue::Dict{{"length", 1}, {"path", BValue::List{1}}}));
    cases.append({"top level list", QByteArrayLiteral("l4:infoe")});
    cases.append({"no info", QByteArrayLiteral("d8:announce8:http://xe")});
    cases.append({"info is a list", QByteArrayLiteral("d8:announce8:http://x4:infoli1eee")});
    cases.append({"2^63 length", QByteArrayLiteral("d8:announce8:http://x4:infod6:lengthi9223372036854775808e"
                                                   "4:name1:f12:piece lengthi16384e6:pieces20:") +
                                     QByteArray(20, 'p') + "ee"});
    QByteArray deep = QByteArrayLiteral("d8:announce8:http://x5:extra");
    deep += QByteArray(150, 'l') + QByteArray(150, 'e');
    deep += QByteArrayLiteral("4:info") + Bencoder::bencodingForObject(singleFileInfo("f", 10)) + "e";
    cases.append({"deep nesting", deep});
    const QByteArray valid = metainfo(singleFileInfo("f", 10));
    cases.append({"truncated", valid.left(valid.size() - 3)});
    cases.append({"empty", QByteArray()});

    ASSERT_TRUE(TorrentLine::torrentLineForData(valid)) << "the baseline must be accepted";
    for (const Case& c : cases) {
        EXPECT_FALSE(Metainfo::read(c.data)) << c.label;
        EXPECT_FALSE(TorrentLine::torrentLineForData(c.data)) << c.label;
    }
}

TEST(Metainfo, LongComponentsAreShortenedKeepingTheExtension)
{
    const QString longAscii = QString(300, 'a') + ".mkv";
    const QString longAccented = QString(200, QChar(0xE9)) + ".txt";  // two bytes each in UTF-8
    const TorrentLinePtr torrent =
        TorrentLine::torrentLineForData(metainfo(multiFileInfo("T", {{{longAscii}, 1}, {{longAccented}, 1}})));
    ASSERT_TRUE(torrent);
    for (const FileLine* file : torrent->files()) {
        EXPECT_LE(file->path().toUtf8().size(), 255);
        EXPECT_GE(file->path().toUtf8().size(), 250);
        EXPECT_FALSE(file->path().contains(QChar::ReplacementCharacter));
    }
    EXPECT_TRUE(fileAt(*torrent, 0)->path().endsWith(".mkv"));
    EXPECT_TRUE(fileAt(*torrent, 1)->path().endsWith(".txt"));

    // Two names that only differ beyond the limit become the same name: refused, never merged.
    const QString twin1 = QString(300, 'b') + "1.txt";
    const QString twin2 = QString(300, 'b') + "2.txt";
    EXPECT_FALSE(TorrentLine::torrentLineForData(metainfo(multiFileInfo("T", {{{twin1}, 1}, {{twin2}, 1}}))));
}

TEST(Metainfo, LegacyNamesAndBinaryKeysKeepAStableInfoHash)
{
    const QByteArray ed2k("\x00\xff\x80\x7f\x01\xfe\xc3\x28\x00\xff\x80\x7f\x01\xfe\xc3\x28", 16);
    BValue files = BValue::list();
    for (const auto& [name, length] : {std::pair<const char*, qint64>{"\xff\xfe.bin", 3}, {"b", 4}})
        files.append(BValue::Dict{{"length", length}, {"path", BValue::List{QByteArray(name)}}, {"ed2k", ed2k}});
    // A Latin-1 name, not UTF-8.
    const BValue info = with(with(multiFileInfo("x", {{{"a"}, 3}, {{"b"}, 4}}), "name", QByteArray("caf\xe9", 4)), "files", files);
    const QByteArray expected = PZCrypto::sha1(Bencoder::bencodingForObject(info));
    const QByteArray data = metainfo(info);

    const TorrentLinePtr first = TorrentLine::torrentLineForData(data);
    const TorrentLinePtr second = TorrentLine::torrentLineForData(data);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->infoHash(), expected);
    EXPECT_EQ(second->infoHash(), expected);
    EXPECT_EQ(first->torrentData(), data);
    EXPECT_EQ(first->path(), QString::fromLatin1("caf\xe9"));
    EXPECT_EQ(first->files().at(0)->path(), QString::fromLatin1("\xff\xfe.bin"));
}

TEST(Metainfo, Utf8NamesArePreferred)
{
    BValue info = with(multiFileInfo("legacy", {{{"old"}, 3}}), "name.utf-8", QString::fromUtf8("Überall"));
    info.insert("files", BValue::List{BValue::Dict{
                             {"length", 3}, {"path", pathList({"old"})}, {"path.utf-8", pathList({QString::fromUtf8("neü")})}}});
    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(info));
    ASSERT_TRUE(torrent);
    EXPECT_EQ(torrent->path(), QString::fromUtf8("Überall"));
    EXPECT_EQ(torrent->files().at(0)->path(), QString::fromUtf8("neü"));
}

TEST(Metainfo, ReadFromFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.torrent");
    ASSERT_TRUE(writeFile(path, minimalMetainfo()));
    const TorrentLinePtr torrent = TorrentLine::torrentLineForPath(path);
    ASSERT_TRUE(torrent);
    EXPECT_EQ(torrent->torrentPath(), path);
    EXPECT_EQ(hexString(torrent->infoHash()), "de3edc1dfa1958affac1dbdc8f34d4d6dac43f00");
    // The kept bytes hold the file, not the room of the largest metainfo allowed.
    EXPECT_LT(torrent->torrentData().capacity(), 4096);
    EXPECT_FALSE(TorrentLine::torrentLineForPath(dir.filePath("missing.torrent")));
}

TEST(Metainfo, EveryFullPathLiesUnderTheDownloadFolder)
{
    const TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(multiFileInfo(
        "T", {{{"..a", "b.."}, 1}, {{"...", "x"}, 2}, {{" ", "~"}, 3}, {{"\\..\\", "$HOME"}, 4}})));
    ASSERT_TRUE(torrent);
    QTemporaryDir dir;
    torrent->setDownloadPath(dir.path());
    for (const FileLine* file : torrent->files()) {
        const QString clean = QDir::cleanPath(file->fullPath());
        EXPECT_TRUE(clean.startsWith(QDir::cleanPath(dir.path()) + "/T/")) << qPrintable(file->fullPath());
    }
}

TEST(Metainfo, MediaKinds)
{
    struct Case { QList<FileSpec> files; bool audio; bool video; };
    const QList<Case> cases = {
        {{{{"Album", "1.MP3"}, 5}, {{"Album", "cover.jpg"}, 5}}, true, false},
        {{{{"film.mkv"}, 5}, {{"film.srt"}, 5}}, false, true},
        {{{{"a.mp3"}, 5}, {{"b.avi"}, 5}}, true, true},
        {{{{"notes.txt"}, 5}}, false, false},
    };
    for (const Case& c : cases) {
        const TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(multiFileInfo("T", c.files)));
        ASSERT_TRUE(torrent);
        EXPECT_EQ(torrent->hasAudio(), c.audio) << qPrintable(c.files.first().path.last());
        EXPECT_EQ(torrent->hasVideo(), c.video) << qPrintable(c.files.first().path.last());
    }
    const TorrentLinePtr single = TorrentLine::torrentLineForData(metainfo(singleFileInfo("song.wav", 5)));
    ASSERT_TRUE(single);
    EXPECT_TRUE(single->hasAudio()) << "a single file is analysed by the torrent's name";
}
