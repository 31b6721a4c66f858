#include "engine/blocklist/Blocklist.h"
#include "engine/blocklist/BlocklistImport.h"
#include "kit/Settings.h"
#include "support/Addresses.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <future>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <zip.h>

using namespace ombrelay;
using ombrelay::test::ipv4;

namespace {

// "n:10.x.y.0-10.x.y.9" for `count` disjoint ranges starting at 10.first.0.0.
QByteArray manyRanges(int count, int first = 0)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("n%1:10.%2.%3.0-10.%2.%3.9\r\n")
                    .arg(i)
                    .arg(first + i / 256)
                    .arg(i % 256)
                    .toLatin1();
    return text;
}

class BlocklistTest : public ::testing::Test
{
protected:
    BlocklistTest() : settings(dir.filePath("settings.ini")) { settings.setBool("kBlocklistEnabled", true); }

    // In a folder the store makes, as at a first launch.
    QString databasePath() const { return dir.filePath("data/Blocklist.db"); }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(test::writeFile(path, bytes));
        return path;
    }

    QString writeZip(const QString& name, const QList<QPair<QByteArray, QByteArray>>& entries)
    {
        const QString path = dir.filePath(name);
        int error = 0;
        zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        EXPECT_NE(archive, nullptr);
        for (const auto& [entryName, bytes] : entries) {
            if (entryName.endsWith('/')) {
                EXPECT_GE(zip_dir_add(archive, entryName.constData(), ZIP_FL_ENC_UTF_8), 0);
                continue;
            }
            // libzip reads the buffer at zip_close: keep a copy alive until then.
            buffers.append(bytes);
            zip_source_t* source = zip_source_buffer(archive, buffers.last().constData(), zip_uint64_t(bytes.size()), 0);
            EXPECT_GE(zip_file_add(archive, entryName.constData(), source, ZIP_FL_ENC_UTF_8), 0);
        }
        EXPECT_EQ(zip_close(archive), 0);
        return path;
    }

    // Imports through the blocklist and waits for the end; answers whether it succeeded.
    bool import(Blocklist& blocklist, const QString& path)
    {
        QSignalSpy finished(&blocklist, &Blocklist::importFinished);
        EXPECT_TRUE(blocklist.importList(path));
        EXPECT_TRUE(finished.wait(60000));
        return !finished.isEmpty() && finished.first().first().toBool();
    }

    QTemporaryDir dir;
    Settings settings;
    QList<QByteArray> buffers;
};

}  // namespace

TEST_F(BlocklistTest, RefusesAddressesInsideAnImportedRange)
{
    Blocklist blocklist(databasePath(), settings);
    EXPECT_FALSE(blocklist.isBlocked(ipv4("1.2.3.4"))) << "before any import";

    ASSERT_TRUE(import(blocklist, writeFile("list.txt", "x:1.2.3.0-1.2.3.255\r\n")));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.4")));
    EXPECT_TRUE(blocklist.shouldRefuseAddress(ipv4("1.2.3.255")));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.0")));
    EXPECT_FALSE(blocklist.isBlocked(ipv4("1.2.4.0")));
    EXPECT_FALSE(blocklist.shouldRefuseAddress(ipv4("1.2.2.255")));

    settings.setBool("kBlocklistEnabled", false);
    EXPECT_FALSE(blocklist.isBlocked(ipv4("1.2.3.4"))) << "switched off";
    settings.setBool("kBlocklistEnabled", true);
    EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.4")));

    // A new instance reads the stored list.
    Blocklist reopened(databasePath(), settings);
    EXPECT_TRUE(reopened.isBlocked(ipv4("1.2.3.4")));
}

TEST_F(BlocklistTest, NestedAndOverlappingRangesAreFoundByTheOneRowLookup)
{
    Blocklist blocklist(databasePath(), settings);
    ASSERT_TRUE(import(blocklist, writeFile("list.txt", "wide:1.0.0.0-1.255.255.255\n"
                                                         "nested:1.2.0.0-1.2.0.10\n"
                                                         "a:5.0.0.0-5.0.0.100\n"
                                                         "overlapping:5.0.0.50-5.0.1.20\n"
                                                         "inner:5.0.0.60-5.0.0.70\n"
                                                         "top:255.255.255.0-255.255.255.255\n")));
    struct Case
    {
        const char* address;
        bool blocked;
    };
    const Case cases[] = {
        {"1.5.0.0", true},  // past the nested range's end, inside the wide one
        {"1.2.0.11", true},
        {"1.255.255.255", true},
        {"2.0.0.0", false},
        {"0.255.255.255", false},
        {"5.0.0.0", true},
        {"5.0.0.71", true},  // past the inner range, inside the overlap
        {"5.0.1.20", true},
        {"5.0.1.21", false},
        {"4.255.255.255", false},
        {"255.255.255.255", true},
        {"0.0.0.0", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(blocklist.isBlocked(ipv4(c.address)), c.blocked) << c.address;
}

TEST_F(BlocklistTest, MalformedLinesAreSkippedAndTheSettingsWritten)
{
    Blocklist blocklist(databasePath(), settings);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    // Which lines are malformed is BlocklistText's to say; the import skips them and counts the rest.
    ASSERT_TRUE(import(blocklist, writeFile("list.txt", "good:9.9.9.0-9.9.9.9\r\n"
                                                         "three:9.9.7.0-9.9.7.5-9.9.7.9\r\n"
                                                         "also:good:9.9.4.0-9.9.4.9\r\n")));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("9.9.9.5")));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("9.9.4.5")));
    EXPECT_FALSE(blocklist.isBlocked(ipv4("9.9.7.1")));
    EXPECT_EQ(settings.integer("kBlocklistEntryCount"), 2);
    const QDateTime updated = QDateTime::fromString(settings.string("kBlocklistLastUpdate"), Qt::ISODate);
    ASSERT_TRUE(updated.isValid());
    EXPECT_GE(updated, before);
}

TEST_F(BlocklistTest, ProgressIsReportedEveryHundredInsertsAndAtTheEnd)
{
    Blocklist blocklist(databasePath(), settings);
    QSignalSpy progress(&blocklist, &Blocklist::importProgress);
    ASSERT_TRUE(import(blocklist, writeFile("list.txt", manyRanges(250))));
    QList<double> reported;
    for (const QList<QVariant>& signal : progress)
        reported.append(signal.first().toDouble());
    EXPECT_EQ(reported, (QList<double>{0.4, 0.8, 1.0}));
}

TEST_F(BlocklistTest, ImportsTheTextEntryOfAZipArchive)
{
    Blocklist blocklist(databasePath(), settings);
    const QString archive = writeZip("level1.zip", {{"docs/", {}},
                                                    {"README", "not a list: 7.7.7.7-7.7.7.8"},
                                                    {"level1.txt", "zipped:6.6.6.0-6.6.6.255\r\n"}});
    ASSERT_TRUE(import(blocklist, archive));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("6.6.6.6")));
    EXPECT_FALSE(blocklist.isBlocked(ipv4("7.7.7.7")));
}

TEST_F(BlocklistTest, FailedImportsLeaveTheOldList)
{
    Blocklist blocklist(databasePath(), settings);
    ASSERT_TRUE(import(blocklist, writeFile("list.txt", "old:1.2.3.0-1.2.3.255\n")));
    const qint64 entries = settings.integer("kBlocklistEntryCount");

    const QString damaged = writeZip("damaged.zip", {{"level1.txt", manyRanges(2000)}});
    {
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.resize(file.size() / 2);
    }
    QFile sparse(dir.filePath("huge.txt"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(qint64(128 << 20) + 1));  // one byte over the cap, without writing it
    sparse.close();

    const QString page = writeFile("page.html", "<html><body>Service unavailable</body></html>\r\n");
    const QString empty = writeFile("empty.txt", "");
    for (const QString& path : {dir.filePath("missing.txt"), damaged, sparse.fileName(), page, empty}) {
        EXPECT_FALSE(import(blocklist, path)) << qPrintable(path);
        EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.4"))) << qPrintable(path);
    }
    EXPECT_EQ(settings.integer("kBlocklistEntryCount"), entries);
}

TEST_F(BlocklistTest, ACancelledImportLeavesTheOldList)
{
    Blocklist blocklist(databasePath(), settings);
    ASSERT_TRUE(import(blocklist, writeFile("old.txt", "old:1.2.3.0-1.2.3.255\n")));
    const QString big = writeFile("new.txt", manyRanges(60000));

    QSignalSpy finished(&blocklist, &Blocklist::importFinished);
    ASSERT_TRUE(blocklist.importList(big));
    EXPECT_FALSE(blocklist.importList(big)) << "one import at a time";
    blocklist.cancelImport();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.4")));
    EXPECT_FALSE(blocklist.isBlocked(ipv4("10.0.0.5")));
    EXPECT_FALSE(blocklist.isImporting());
}

TEST_F(BlocklistTest, LookupsDuringAnImportAnswerFromTheOldList)
{
    Blocklist blocklist(databasePath(), settings);
    ASSERT_TRUE(import(blocklist, writeFile("old.txt", "old:1.2.3.0-1.2.3.255\n")));
    const QString next = writeFile("new.txt", manyRanges(1000));

    // The import stops at its first progress report, with half its new table written, until released.
    std::promise<void> paused;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic_bool cancelled{false};
    bool first = true;
    BlocklistImport::Outcome outcome;
    std::thread worker([&] {
        outcome = BlocklistImport::run(databasePath(), next, cancelled, [&](double) {
            if (std::exchange(first, false)) {
                paused.set_value();
                released.wait();
            }
        });
    });
    ASSERT_EQ(paused.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.4")));
    EXPECT_FALSE(blocklist.isBlocked(ipv4("10.0.0.5")));
    release.set_value();
    worker.join();

    ASSERT_EQ(outcome.result, BlocklistImport::Result::Succeeded);
    EXPECT_EQ(outcome.entryCount, 1000);
    EXPECT_FALSE(blocklist.isBlocked(ipv4("1.2.3.4")));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("10.0.0.5")));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("10.3.231.9")));  // the last of the 1000
}

TEST_F(BlocklistTest, AnImportCutShortByACrashLeavesTheOldList)
{
    {
        Blocklist blocklist(databasePath(), settings);
        ASSERT_TRUE(import(blocklist, writeFile("old.txt", "old:1.2.3.0-1.2.3.255\n")));
    }
    const QString next = writeFile("new.txt", manyRanges(1000));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Dies in the middle of writing the new table, without unwinding.
        std::atomic_bool cancelled{false};
        BlocklistImport::run(databasePath(), next, cancelled, [](double) { _exit(3); });
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 3) << "the child died inside the import";

    Blocklist blocklist(databasePath(), settings);
    EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.4")));
    EXPECT_FALSE(blocklist.isBlocked(ipv4("10.0.0.5")));
    ASSERT_TRUE(import(blocklist, next));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("10.0.0.5")));
}

TEST_F(BlocklistTest, ADamagedDatabaseFileIsReplacedByTheImport)
{
    writeFile("Blocklist.db", QByteArray(8192, 'x'));
    Blocklist blocklist(databasePath(), settings);
    EXPECT_FALSE(blocklist.isBlocked(ipv4("1.2.3.4")));
    ASSERT_TRUE(import(blocklist, writeFile("list.txt", "x:1.2.3.0-1.2.3.255\n")));
    EXPECT_TRUE(blocklist.isBlocked(ipv4("1.2.3.4")));
}
