#include "kit/SqliteDatabase.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

class SqliteDatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.open(path()));
        ASSERT_TRUE(db.execute("CREATE TABLE peers (address INTEGER, port INTEGER, name TEXT, data BLOB,"
                               " score REAL, PRIMARY KEY (address, port))"));
    }
    QString path() const { return dir.filePath(QStringLiteral("peers.db")); }

    QTemporaryDir dir;
    SqliteDatabase db;
};

TEST_F(SqliteDatabaseTest, BoundValuesComeBackUnchanged)
{
    auto insert = db.prepare(QStringLiteral("insertStatement"),
                             "INSERT INTO peers (address, port, name, data, score) VALUES (?, ?, ?, ?, ?)");
    auto select = db.prepare(QStringLiteral("selectStatement"),
                             "SELECT address, port, name, data, score FROM peers WHERE port = ?");
    ASSERT_TRUE(insert && select);

    struct Row
    {
        qint64 address;
        int port;
        QString name;
        QByteArray data;
        double score;
    };
    const Row rows[] = {
        {0x7f000001, 6881, QStringLiteral("it's; DROP TABLE peers; --"), QByteArray("\x00\x01\x02", 3), 0.5},
        {-1, 6882, QStringLiteral("Ünïcødé 音"), QByteArray(), -2.25},
        {Q_INT64_C(9007199254740993), 6883, QString(), QByteArray(70000, '\xab'), 1e300},
    };
    for (const Row& r : rows) {
        insert->bind(1, r.address);
        insert->bind(2, r.port);
        if (r.name.isNull())
            insert->bindNull(3);
        else
            insert->bind(3, r.name);
        insert->bind(4, r.data);
        insert->bind(5, r.score);
        ASSERT_TRUE(insert->run());
    }
    for (const Row& r : rows) {
        select->bind(1, r.port);
        ASSERT_EQ(select->step(), SqliteStatement::Step::Row);
        EXPECT_EQ(select->integer(0), r.address);
        EXPECT_EQ(select->text(2), r.name);
        EXPECT_EQ(select->isNull(2), r.name.isNull());
        EXPECT_EQ(select->blob(3), r.data);
        EXPECT_FALSE(select->isNull(3));  // an empty blob is not NULL
        EXPECT_EQ(select->real(4), r.score);
        EXPECT_EQ(select->step(), SqliteStatement::Step::Done);
        select->reset();
    }
}

TEST_F(SqliteDatabaseTest, AStatementThatCannotBePreparedMarksTheDatabaseCorrupt)
{
    EXPECT_FALSE(db.isCorrupt());
    testing::internal::CaptureStderr();
    auto broken = db.prepare(QStringLiteral("countStatement"), "SELECT COUNT(*) FROM nowhere");
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(broken, nullptr);
    EXPECT_TRUE(db.isCorrupt());
    EXPECT_NE(log.find("*** sql error: countStatement"), std::string::npos) << log;
    EXPECT_NE(log.find("no such table: nowhere"), std::string::npos) << log;
}

TEST_F(SqliteDatabaseTest, ConstraintErrorsAreReportedButAreNoCorruption)
{
    auto insert = db.prepare(QStringLiteral("insertStatement"), "INSERT INTO peers (address, port) VALUES (?, ?)");
    ASSERT_TRUE(insert);
    insert->bind(1, 1);
    insert->bind(2, 2);
    ASSERT_TRUE(insert->run());
    insert->bind(1, 1);
    insert->bind(2, 2);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(insert->run());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("*** sql error"), std::string::npos);
    EXPECT_FALSE(db.isCorrupt());
    EXPECT_EQ(db.changes(), 0);
}

TEST_F(SqliteDatabaseTest, TransactionsCommitToTheFileOrRollBack)
{
    auto insert = db.prepare(QStringLiteral("insertStatement"), "INSERT INTO peers (address, port) VALUES (?, 1)");
    auto count = db.prepare(QStringLiteral("countStatement"), "SELECT COUNT(*) FROM peers");
    ASSERT_TRUE(insert && count);
    auto rows = [&] {
        EXPECT_EQ(count->step(), SqliteStatement::Step::Row);
        const qint64 n = count->integer(0);
        count->reset();
        return n;
    };
    {
        SqliteTransaction transaction(db);
        ASSERT_TRUE(transaction.isOpen());
        for (int i = 0; i < 100; ++i) {
            insert->bind(1, i);
            ASSERT_TRUE(insert->run());
        }
        EXPECT_TRUE(transaction.commit());
    }
    EXPECT_EQ(rows(), 100);
    {
        SqliteTransaction transaction(db);
        insert->bind(1, 1000);
        ASSERT_TRUE(insert->run());
        EXPECT_EQ(db.lastInsertRowId(), 101);
    }  // not committed
    EXPECT_EQ(rows(), 100);

    // The committed rows are in the file.
    insert.reset();
    count.reset();
    db.close();
    SqliteDatabase again;
    ASSERT_TRUE(again.open(path()));
    auto reread = again.prepare(QStringLiteral("countStatement"), "SELECT COUNT(*) FROM peers");
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->step(), SqliteStatement::Step::Row);
    EXPECT_EQ(reread->integer(0), 100);
}

TEST_F(SqliteDatabaseTest, AFileThatIsNoDatabaseIsCorrupt)
{
    db.close();
    const QString junk = dir.filePath(QStringLiteral("junk.db"));
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'j'));
    file.close();

    SqliteDatabase damaged;
    ASSERT_TRUE(damaged.open(junk));  // SQLite reads the header lazily
    testing::internal::CaptureStderr();
    const bool created = damaged.execute("CREATE TABLE IF NOT EXISTS icons (host TEXT)");
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(created);
    EXPECT_TRUE(damaged.isCorrupt());
}

TEST_F(SqliteDatabaseTest, BusyTimeOutWaitsForAnotherWriter)
{
    SqliteDatabase other;
    ASSERT_TRUE(other.open(path(), 100));
    ASSERT_TRUE(db.beginTransaction());
    testing::internal::CaptureStderr();
    const bool began = other.beginTransaction();  // waits about 100 ms, then gives up
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(began);
    EXPECT_NE(log.find("locked"), std::string::npos) << log;
    EXPECT_FALSE(other.isCorrupt());
    ASSERT_TRUE(db.commit());
    EXPECT_TRUE(other.beginTransaction());
    EXPECT_TRUE(other.commit());
}

}  // namespace
