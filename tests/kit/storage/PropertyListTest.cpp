#include "kit/AtomicFile.h"
#include "kit/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QSize>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ombrelay;

namespace {

constexpr qint64 kCap = 1 << 20;

QVariantMap sampleState()
{
    QVariantMap files;
    files.insert(QStringLiteral("index"), qint64(3));
    files.insert(QStringLiteral("name"), QStringLiteral("Überschall – 音楽.flac"));
    return {
        {QStringLiteral("downloadPath"), QStringLiteral("/home/u/Downloads")},
        {QStringLiteral("uploaded"), qint64(5'000'000'000LL)},
        {QStringLiteral("customUploadLimit"), qint64(-1)},
        {QStringLiteral("ratio"), 1.25},
        {QStringLiteral("paused"), true},
        {QStringLiteral("seeding"), false},
        {QStringLiteral("bitfield"), QByteArray("\x00\xff\x10\x00", 4)},
        {QStringLiteral("empty"), QByteArray()},
        {QStringLiteral("added"),
         QDateTime(QDate(2008, 6, 2), QTime(12, 3, 0, 250), QTimeZone::utc())},
        {QStringLiteral("files"), QVariantList{files, QStringLiteral("x"), QVariantList{}}},
    };
}

TEST(PropertyListTest, ValuesSurviveARoundTrip)
{
    const QVariantMap state = sampleState();
    const QByteArray bytes = PropertyList::toBinary(state);
    ASSERT_TRUE(bytes.startsWith("bplist00"));
    const QVariant back = PropertyList::fromBinary(bytes);
    ASSERT_EQ(back.typeId(), QMetaType::QVariantMap);
    const QVariantMap map = back.toMap();
    ASSERT_EQ(map.keys(), state.keys());
    for (auto it = state.constBegin(); it != state.constEnd(); ++it)
        EXPECT_EQ(map.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(map.value(QStringLiteral("uploaded")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value(QStringLiteral("bitfield")).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(map.value(QStringLiteral("added")).toDateTime().toMSecsSinceEpoch(),
              state.value(QStringLiteral("added")).toDateTime().toMSecsSinceEpoch());
}

TEST(PropertyListTest, ValuesWithoutAPropertyListFormAreRefused)
{
    const QVariant refused[] = {
        QVariant(),
        QVariant(QPoint(1, 2)),
        QVariant(QVariantList{QVariant(1), QVariant(QSize(1, 1))}),
        QVariant(QDateTime()),
    };
    for (const QVariant& value : refused)
        EXPECT_TRUE(PropertyList::toBinary(value).isEmpty()) << value.typeName();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.plist"));
    EXPECT_FALSE(PropertyList::write(path, QVariant(QPoint(1, 2))));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(PropertyListTest, WriteReplacesTheFileAtomically)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.plist"));
    ASSERT_TRUE(PropertyList::write(path, QVariantList{1, 2}));
    ASSERT_TRUE(PropertyList::write(path, sampleState()));
    EXPECT_EQ(PropertyList::read(path, kCap).toMap().value(QStringLiteral("ratio")).toDouble(), 1.25);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("state.plist")});
}

TEST(PropertyListTest, ReadRefusesMissingOversizedAndForeignFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.plist"));
    EXPECT_FALSE(PropertyList::read(path, kCap).isValid());

    ASSERT_TRUE(PropertyList::write(path, QVariantMap{{QStringLiteral("big"), QByteArray(4096, 'x')}}));
    EXPECT_FALSE(PropertyList::read(path, 1024).isValid());
    EXPECT_TRUE(PropertyList::read(path, 8192).isValid());

    const QByteArray foreign[] = {
        QByteArray(),
        QByteArray("bplist00"),
        QByteArray("<?xml version=\"1.0\"?><plist><array/></plist>"),
        QByteArray("bplist00\xa0\x08", 10),
        QByteArray(64, '\0'),
    };
    for (const QByteArray& bytes : foreign) {
        ASSERT_TRUE(AtomicFile::write(path, bytes));
        EXPECT_FALSE(PropertyList::read(path, kCap).isValid()) << bytes.toHex().toStdString();
    }
}

// Only the types a property list holds, at every depth.
bool isPropertyListValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        for (const QVariant& child : value.toMap())
            if (!isPropertyListValue(child))
                return false;
        return true;
    case QMetaType::QVariantList:
        for (const QVariant& child : value.toList())
            if (!isPropertyListValue(child))
                return false;
        return true;
    case QMetaType::Bool:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::QDateTime:
    case QMetaType::QByteArray:
    case QMetaType::QString:
        return true;
    default:
        return false;
    }
}

TEST(PropertyListTest, DamagedFilesNeverCrash)
{
    const QByteArray good = PropertyList::toBinary(sampleState());
    ASSERT_FALSE(good.isEmpty());
    // Without its trailer a list has no table of objects: every cut-off copy is unreadable.
    for (qsizetype length = 0; length < good.size(); ++length)
        EXPECT_FALSE(PropertyList::fromBinary(good.left(length)).isValid()) << length;

    // Random damage (run under the address sanitizer): whatever reads must be a property-list value.
    QRandomGenerator random(20260612);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        const int edits = 1 + int(random.bounded(8));
        for (int e = 0; e < edits; ++e)
            bytes[int(random.bounded(bytes.size()))] = random.bounded(2) ? char(random.bounded(256)) : char(0xff);
        const QVariant value = PropertyList::fromBinary(bytes);
        if (value.isValid()) {
            EXPECT_TRUE(isPropertyListValue(value)) << round;
        }
    }
}

TEST(PropertyListTest, DeepNestingIsRefusedNotOverflowed)
{
    QVariant nested = QVariantList{};
    for (int i = 0; i < 1000; ++i)
        nested = QVariantList{nested};
    EXPECT_TRUE(PropertyList::toBinary(nested).isEmpty());

    // A file of 100,000 arrays each holding the next: 1-byte references would not do, so build it
    // with 4-byte ones by hand.
    const int count = 100000;
    QByteArray bytes("bplist00");
    QList<quint64> offsets;
    for (int i = 0; i < count; ++i) {
        offsets.append(quint64(bytes.size()));
        if (i + 1 < count) {
            bytes.append(char(0xA1));
            const quint32 next = quint32(i + 1);
            bytes.append(char(next >> 24)).append(char(next >> 16)).append(char(next >> 8)).append(char(next));
        } else {
            bytes.append(char(0xA0));
        }
    }
    const quint64 tableOffset = quint64(bytes.size());
    for (quint64 o : offsets)
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char(o >> shift));
    QByteArray trailer(32, '\0');
    trailer[6] = 4;  // offset size
    trailer[7] = 4;  // reference size
    for (int i = 0; i < 8; ++i) {
        trailer[8 + i] = char(quint64(count) >> (56 - 8 * i));
        trailer[24 + i] = char(tableOffset >> (56 - 8 * i));
    }
    bytes.append(trailer);
    EXPECT_FALSE(PropertyList::fromBinary(bytes).isValid());
}

TEST(AtomicFileTest, WritesReplacesAndKeepsPermissions)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bitfield"));
    ASSERT_TRUE(AtomicFile::write(path, QByteArray("first")));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    ASSERT_TRUE(AtomicFile::write(path, QByteArray("second, longer")));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second, longer"));
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ASSERT_TRUE(AtomicFile::write(path, QByteArray()));
    EXPECT_EQ(QFileInfo(path).size(), 0);
}

TEST(AtomicFileTest, FailureLeavesTheOldFileAndNoLeftovers)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(AtomicFile::write(dir.filePath(QStringLiteral("missing/folder/file")), "x", &error));
    EXPECT_FALSE(error.isEmpty());

    // A folder in the way of the rename: the write fails and cleans up after itself.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/child")));
    EXPECT_FALSE(AtomicFile::write(blocked, "x", &error));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("blocked")});
}

}  // namespace
