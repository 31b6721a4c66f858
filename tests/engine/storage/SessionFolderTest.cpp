#include "engine/storage/SessionFolder.h"
#include "kit/AppPaths.h"
#include "kit/PropertyList.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using ombrelay::test::writeFile;

namespace {

const QByteArray kHash = QByteArray::fromHex("0abc000000000000000000000000000000000001");

class SessionFolderTest : public testing::Test
{
protected:
    void SetUp() override { AppPaths::setApplicationSupportPath(m_dir.path()); }
    void TearDown() override { AppPaths::setApplicationSupportPath({}); }
    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(SessionFolderTest, NamesFoldersByCreationDateAndInfoHash)
{
    const QDateTime created = QDateTime::fromMSecsSinceEpoch(1291234567500, Qt::UTC);
    const QString name = SessionFolder::folderName(created, kHash);
    EXPECT_EQ(name, QStringLiteral("1291234567.500000-0abc000000000000000000000000000000000001.ombrelay"));
    EXPECT_EQ(SessionFolder::creationDateFromName(name), created);
    EXPECT_FALSE(SessionFolder::creationDateFromName(QStringLiteral("1291234567,500000-0abc.ombrelay")).isValid());
    EXPECT_EQ(SessionFolder(created, kHash).path(), QDir(m_dir.path()).filePath(QStringLiteral("Torrents/") + name));
}

TEST_F(SessionFolderTest, RecordsRoundTrip)
{
    SessionRecord record;
    record.creationDate = QDateTime::fromMSecsSinceEpoch(1600000000123, Qt::UTC);
    record.downloadPath = QStringLiteral("/data/downloads");
    record.shouldRelocateOnCompletion = true;
    record.metainfo = "d4:infod6:lengthi5eee";
    record.downloadState = 2;
    record.exportedIndices = QByteArray::fromHex("c0");
    record.bytesUploaded = 5'000'000'000ULL;
    record.customDownloadLimit = 40;
    record.customUploadLimit = -1;
    record.checkboxStates = QVector<bool>{true, false, true};

    SessionFolder folder(record.creationDate, kHash);
    ASSERT_TRUE(folder.create());
    ASSERT_TRUE(folder.writeMetainfo(record.metainfo));
    ASSERT_TRUE(folder.writeTorrentPlist(record));
    ASSERT_TRUE(folder.writeStatePlist(record));
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("downloadedBlocks.bitfield")), QByteArray::fromHex("ff80")));
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("downloadedPieces.bitfield")), QByteArray::fromHex("f0")));

    EXPECT_EQ(SessionFolder::storedFolderNames(), QStringList{QFileInfo(folder.path()).fileName()});
    const auto back = SessionFolder(folder.path()).read(1 << 20);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->creationDate, record.creationDate);
    EXPECT_EQ(back->downloadPath, record.downloadPath);
    EXPECT_TRUE(back->shouldRelocateOnCompletion);
    EXPECT_EQ(back->metainfo, record.metainfo);
    EXPECT_EQ(back->downloadState, 2);
    EXPECT_EQ(back->exportedIndices, record.exportedIndices);
    EXPECT_EQ(back->bytesUploaded, record.bytesUploaded);
    EXPECT_EQ(back->customDownloadLimit, 40);
    EXPECT_EQ(back->customUploadLimit, -1);
    EXPECT_EQ(back->checkboxStates, record.checkboxStates);
    EXPECT_EQ(back->storedBlocks, QByteArray::fromHex("ff80"));
    EXPECT_EQ(back->verifiedPieces, QByteArray::fromHex("f0"));
    EXPECT_FALSE(back->hadLegacyMetainfo);

    // The metainfo is written once only.
    EXPECT_TRUE(folder.writeMetainfo("something else"));
    EXPECT_EQ(SessionFolder(folder.path()).read(1 << 20)->metainfo, record.metainfo);
}

TEST_F(SessionFolderTest, ReadsTheOlderForm)
{
    SessionFolder folder(QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC), kHash);
    ASSERT_TRUE(folder.create());
    QVariantMap torrent{{QStringLiteral("creationDate"), QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC)},
                        {QStringLiteral("torrentData"), QByteArray("d4:infod6:lengthi5eee")},
                        {QStringLiteral("downloadPath"), QStringLiteral("/old")}};
    QVariantMap state{{QStringLiteral("downloadState"), 4},
                      {QStringLiteral("downloadedBlocks"), QByteArray::fromHex("80")},
                      {QStringLiteral("downloadedPieces"), QByteArray::fromHex("80")}};
    ASSERT_TRUE(PropertyList::write(folder.filePath(QStringLiteral("torrent.plist")), torrent));
    ASSERT_TRUE(PropertyList::write(folder.filePath(QStringLiteral("state.plist")), state));
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("peers.bitfield")), QByteArray::fromHex("7f0000011ae1")));

    const auto record = folder.read(1 << 20);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->hadLegacyMetainfo);
    EXPECT_EQ(record->metainfo, QByteArray("d4:infod6:lengthi5eee"));
    EXPECT_EQ(record->downloadState, 4);
    EXPECT_EQ(record->storedBlocks, QByteArray::fromHex("80"));
    EXPECT_EQ(record->legacyCompactPeers, QByteArray::fromHex("7f0000011ae1"));
    folder.removeLegacyPeers();
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("peers.bitfield"))));
}

TEST_F(SessionFolderTest, DamagedFilesFallBackOrRefuse)
{
    const QDateTime created = QDateTime::fromMSecsSinceEpoch(1291234567500, Qt::UTC);
    SessionFolder folder(created, kHash);
    ASSERT_TRUE(folder.create());
    EXPECT_FALSE(folder.read(1 << 20)) << "no metainfo, no torrent";

    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("torrent")), "d4:infod6:lengthi5eee"));
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("torrent.plist")), "not a property list"));
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("state.plist")), QByteArray("bplist00\xff\xff", 10)));
    const auto record = folder.read(1 << 20);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->creationDate, created);
    EXPECT_TRUE(record->downloadPath.isEmpty());
    EXPECT_EQ(record->downloadState, 0);

    EXPECT_FALSE(folder.read(5)) << "a metainfo over the cap is not read";
}
