// The source list in the settings: round trips, hostile stored values, and saves that survive a kill.
#include "FrameFixtures.h"

#include "app/frame/SourceListStorage.h"
#include "kit/PropertyList.h"
#include "support/WaitUntil.h"

#include <QDataStream>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>
#include <QThread>
#include <array>
#include <csignal>
#include <functional>
#include <memory>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const char kChildVariable[] = "OMBRELAY_SOURCE_LIST_CHILD";

// A binary property list of `count` objects whose raw bytes are given; object 0 is the top.
QByteArray bplist(const QList<QByteArray>& objects)
{
    QByteArray bytes("bplist00");
    QList<quint32> offsets;
    for (const QByteArray& object : objects) {
        offsets.append(quint32(bytes.size()));
        bytes += object;
    }
    const quint64 table = quint64(bytes.size());
    for (quint32 offset : offsets)
        bytes += QByteArray::fromHex(QByteArray::number(offset, 16).rightJustified(8, '0'));
    QByteArray trailer(6, '\0');
    trailer += char(4);
    trailer += char(2);
    auto be64 = [](quint64 v) { return QByteArray::fromHex(QByteArray::number(v, 16).rightJustified(16, '0')); };
    trailer += be64(quint64(objects.size())) + be64(0) + be64(table);
    return bytes + trailer;
}

// An array holding one reference (two bytes).
QByteArray arrayOf(int reference)
{
    QByteArray object("\xA1", 1);
    object += char(reference >> 8);
    object += char(reference & 0xFF);
    return object;
}

QVariantMap entry(std::initializer_list<std::pair<const QString, QVariant>> fields)
{
    return QVariantMap(fields);
}

struct StorageTest : ::testing::Test
{
    TemporarySettings settings;
};

TEST_F(StorageTest, ItemsRoundTripWithTheirUnknownKeys)
{
    auto root = SourceItem::makeGroup({}, {});
    auto music = SourceItem::makeGroup(QStringLiteral("Music"), QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
    music->setExpanded(true);
    music->insertChild(0, SourceItem::makeQuery(QStringLiteral("jazz")));
    music->insertChild(1, SourceItem::makeRSS(QStringLiteral("Feed"), QStringLiteral("http://127.0.0.1:9/rss")));
    root->insertChild(0, std::move(music));
    const QByteArray stored = PropertyList::toBinary(QVariantList{
        root->child(0)->toVariant(), entry({{QStringLiteral("type"), QStringLiteral("Query")},
                                            {QStringLiteral("name"), QStringLiteral("later")},
                                            {QStringLiteral("sortKey"), 7}})});
    auto loaded = SourceListStorage::itemsFromData(stored);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->childCount(), 2);
    EXPECT_EQ(SourceListStorage::dataFromItems(*loaded), stored);
    const SourceItem* folder = loaded->child(0);
    EXPECT_TRUE(folder->isGroup() && folder->isExpanded());
    EXPECT_EQ(folder->child(1)->url(), QStringLiteral("http://127.0.0.1:9/rss"));
    EXPECT_EQ(loaded->child(1)->dictionary().value(QStringLiteral("sortKey")).toLongLong(), 7);
}

TEST_F(StorageTest, HostileStoredValuesNeverCrashAndKeepTheValidItems)
{
    QVariantList mixed{
        42,
        QStringLiteral("text"),
        entry({{QStringLiteral("type"), QStringLiteral("Bogus")}, {QStringLiteral("name"), QStringLiteral("x")}}),
        entry({{QStringLiteral("type"), 3}}),
        entry({{QStringLiteral("type"), QStringLiteral("Query")}, {QStringLiteral("name"), 5}}),
        entry({{QStringLiteral("type"), QStringLiteral("Group")}, {QStringLiteral("children"), QStringLiteral("no")},
               {QStringLiteral("isExpanded"), 1}, {QStringLiteral("creationDate"), QStringLiteral("today")}}),
        entry({{QStringLiteral("type"), QStringLiteral("RSS")}, {QStringLiteral("url"), QVariantList{}},
               {QStringLiteral("name"), QString(QStringLiteral("a\nb")) + QString(2000, QLatin1Char('n'))}}),
    };
    QVariantList many;
    const QVariant one = entry({{QStringLiteral("type"), QStringLiteral("Query")}, {QStringLiteral("name"), QStringLiteral("q")}});
    for (int i = 0; i < 200'000; ++i)
        many.append(one);
    QList<QByteArray> deep;
    for (int i = 0; i < 300; ++i)
        deep.append(arrayOf(i + 1));
    deep.append(QByteArray("\xD0", 1));
    const QByteArray sound = PropertyList::toBinary(mixed);

    struct Case
    {
        const char* what;
        QVariant stored;
        int items;  // -1: unreadable, kept aside
    };
    const Case cases[] = {
        {"garbage", QByteArray("not a property list at all, not even close"), -1},
        {"a string instead of data", QStringLiteral("bplist00"), -1},
        {"a dictionary at the top", PropertyList::toBinary(QVariantMap{{QStringLiteral("a"), 1}}), -1},
        {"wrong types", sound, 3},
        {"200,000 items", PropertyList::toBinary(many), SourceItem::kMaxItems},
        {"300 levels deep", bplist(deep), -1},
        {"an array that holds itself", bplist({arrayOf(0)}), -1},
        {"truncated", sound.left(sound.size() / 2), -1},
        {"over 16 MiB", QByteArray(SourceListStorage::kMaxStoredBytes + 1, 'b'), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(SourceListStorage::keptAsidePath());
        Settings::instance().setValue(QStringLiteral("SourceListData"), c.stored);
        SourceView view(Settings::instance());
        view.loadFromDefaults();
        const QList<SourceItem*> items = view.allItems();
        EXPECT_EQ(items.size(), std::max(c.items, 0));
        if (c.items < 0) {
            EXPECT_TRUE(waitUntil([] { return QFile::exists(SourceListStorage::keptAsidePath()); }, 5000));
        }
    }
    Settings::instance().setValue(QStringLiteral("SourceListData"), sound);
    SourceView view(Settings::instance());
    view.loadFromDefaults();
    const QList<SourceItem*> items = view.allItems();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->name(), QString());
    EXPECT_TRUE(items[1]->isGroup() && !items[1]->isExpanded() && items[1]->childCount() == 0);
    EXPECT_EQ(items[2]->name().size(), SourceItem::kMaxNameLength);
    EXPECT_TRUE(items[2]->name().startsWith(QStringLiteral("a b")));
    EXPECT_TRUE(items[2]->url().isEmpty());
}

// The child side of the kill tests: makes its changes or saves in a loop, as the parent asks.
TEST_F(StorageTest, ChildProcess)
{
    const QString mode = qEnvironmentVariable(kChildVariable);
    if (mode.isEmpty())
        GTEST_SKIP() << "runs as the child of the kill tests";
    Settings::useFile(qEnvironmentVariable("OMBRELAY_SOURCE_LIST_FILE"));
    SourceView view(Settings::instance());
    view.loadFromDefaults();
    if (mode == QLatin1String("changes")) {
        view.addNewFolder();
        SourceItem* folder = view.selectedItem();
        view.editor()->setText(QStringLiteral("Renamed"));
        view.endEditing(true);
        view.clearSelection();
        view.addNewQueryForString(QStringLiteral("moved"));
        view.acceptDrop(view.findExistingQuery(QStringLiteral("moved")), folder, -1);
        QCoreApplication::processEvents();  // one pass
        fprintf(stdout, "READY\n");
        fflush(stdout);
        QThread::sleep(30);
        return;
    }
    fprintf(stdout, "SAVING\n");  // the parent's cue: its kill may come from now on
    fflush(stdout);
    for (int i = 0; i < 100'000; ++i) {
        view.addNewQueryForString(QStringLiteral("search %1").arg(i));
        view.saveNow();
    }
}

QProcess* startChild(const QString& mode, const QString& file)
{
    auto* child = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kChildVariable), mode);
    environment.insert(QStringLiteral("OMBRELAY_SOURCE_LIST_FILE"), file);
    child->setProcessEnvironment(environment);
    child->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=StorageTest.ChildProcess")});
    return child;
}

TEST_F(StorageTest, AChildKilledOnePassAfterItsChangesReloadsAllOfThem)
{
    const QString file = settings.folder.filePath(QStringLiteral("child.conf"));
    std::unique_ptr<QProcess> child(startChild(QStringLiteral("changes"), file));
    ASSERT_TRUE(child->waitForStarted(10000));
    QByteArray output;
    for (int i = 0; i < 300 && !output.contains("READY"); ++i) {
        child->waitForReadyRead(100);
        output += child->readAllStandardOutput();
    }
    ASSERT_TRUE(output.contains("READY"));
    ::kill(pid_t(child->processId()), SIGKILL);
    child->waitForFinished(5000);

    Settings::useFile(file);
    SourceView view(Settings::instance());
    view.loadFromDefaults();
    ASSERT_EQ(view.root().childCount(), 1);
    const SourceItem* folder = view.root().child(0);
    EXPECT_EQ(folder->name(), QStringLiteral("Renamed"));
    ASSERT_EQ(folder->childCount(), 1);
    EXPECT_EQ(folder->child(0)->name(), QStringLiteral("moved"));
}

// Children save in a loop, a few at once, each lane on a settings file of its own that starts with a
// long list and grows each round; each child is killed at a random moment once its saves began. After
// every kill the file reads back with every query an earlier save stored.
TEST_F(StorageTest, KillsDuringSavesNeverLeaveAnUnreadableSettingsFile)
{
    constexpr int kKills = 200;
    constexpr int kLanes = 4;
    constexpr int kLatestKillMs = 60;  // after the cue: a few saves in
    constexpr int kFirstQueries = 2000;  // saves long enough for kills to land inside them
    struct Lane
    {
        QString file;
        std::unique_ptr<QProcess> child;
        QByteArray output;
        QTimer kill;
        int queries = kFirstQueries;
    };
    std::array<Lane, kLanes> lanes;
    int started = 0;
    int ended = 0;
    int readable = 0;

    std::function<void(Lane&)> startRound = [&](Lane& lane) {
        const int round = started++;
        lane.output.clear();
        lane.child.reset(startChild(QStringLiteral("saves"), lane.file));
        QProcess* child = lane.child.get();
        QObject::connect(child, &QProcess::readyReadStandardOutput, child, [&lane, child] {
            lane.output += child->readAllStandardOutput();
            if (lane.output.contains("SAVING\n") && !lane.kill.isActive())
                lane.kill.start(int(QRandomGenerator::global()->bounded(kLatestKillMs + 1)));
        });
        QObject::connect(child, &QProcess::finished, child, [&, round, child](int code, QProcess::ExitStatus status) {
            lane.kill.stop();
            EXPECT_TRUE(status == QProcess::CrashExit && code == SIGKILL)
                << "round " << round << ": the child ended otherwise than by its kill: "
                << child->readAllStandardError().right(2000).constData();
            QSettings stored(lane.file, QSettings::IniFormat);
            EXPECT_EQ(stored.status(), QSettings::NoError) << "round " << round;
            const auto items = SourceListStorage::itemsFromData(stored.value(QStringLiteral("SourceListData")).toByteArray());
            EXPECT_NE(items, nullptr) << "round " << round << ": the list is gone or unreadable";
            if (items) {
                ++readable;
                // A kill may lose the queries added since the last save, never one saved before.
                EXPECT_GE(items->childCount(), lane.queries) << "round " << round;
                lane.queries = items->childCount();
            }
            ++ended;
            lane.child.release()->deleteLater();
            if (started < kKills)
                startRound(lane);
        });
    };
    auto first = SourceItem::makeGroup({}, {});
    for (int i = 0; i < kFirstQueries; ++i)
        first->insertChild(i, SourceItem::makeQuery(QStringLiteral("first %1").arg(i)));
    for (int i = 0; i < kLanes; ++i) {
        Lane& lane = lanes[size_t(i)];
        lane.file = settings.folder.filePath(QStringLiteral("kills-%1.conf").arg(i));
        QSettings(lane.file, QSettings::IniFormat).setValue(QStringLiteral("SourceListData"),
                                                            SourceListStorage::dataFromItems(*first));
        lane.kill.setSingleShot(true);
        QObject::connect(&lane.kill, &QTimer::timeout, [&lane] { ::kill(pid_t(lane.child->processId()), SIGKILL); });
        startRound(lane);
    }
    const bool allEnded = waitUntil([&] { return ended == kKills; }, 300'000);
    for (Lane& lane : lanes)
        if (lane.child)
            QObject::disconnect(lane.child.get(), nullptr, nullptr, nullptr);  // none of this outlives the test
    ASSERT_TRUE(allEnded) << ended << " of " << kKills << " rounds ended";
    EXPECT_GT(readable, 100);
}

}  // namespace
