#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace ombrelay {

class SqliteDatabase;

// One prepared statement, kept by its owner for the life of the connection. Values are always bound,
// never pasted into the text. Bind indexes start at 1, column indexes at 0.
class SqliteStatement
{
public:
    enum class Step { Row, Done, Error };

    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void bindNull(int index);
    void bind(int index, qint64 value);
    void bind(int index, int value) { bind(index, qint64(value)); }
    void bind(int index, double value);
    void bind(int index, const QString& text);
    void bind(int index, const QByteArray& blob);

    // Advances to the next row. Errors are logged; a damaged file marks the database corrupt.
    Step step();
    // Runs a statement that returns no rows, then resets it. True when it ran to completion.
    bool run();
    // Rewinds the statement and clears its bindings, ready for the next use.
    void reset();

    int columnCount() const;
    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;

    const QString& name() const { return m_name; }

private:
    friend class SqliteDatabase;
    SqliteStatement(SqliteDatabase& database, sqlite3_stmt* statement, const QString& name);
    bool checkBind(int result, int index);

    SqliteDatabase& m_database;
    sqlite3_stmt* m_statement;
    QString m_name;
};

// A connection to one SQLite file. A statement that cannot be prepared, or an answer that the file is
// damaged, marks the database corrupt; the owner then closes it and starts a new file.
class SqliteDatabase
{
public:
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens (creating when missing) the file. Statements made earlier must be gone before a reopen.
    bool open(const QString& path, int busyTimeoutMs = kDefaultBusyTimeoutMs);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const QString& path() const { return m_path; }

    // Runs one or more statements that take no values (schema, pragmas). Errors are logged.
    bool execute(const char* sql);
    // Null when the statement cannot be prepared; that is logged with `name` and marks the database corrupt.
    std::unique_ptr<SqliteStatement> prepare(const QString& name, const char* sql);

    bool beginTransaction();
    bool commit();
    bool rollback();

    qint64 lastInsertRowId() const;
    int changes() const;
    // The last error; after a failed open, why it failed.
    QString errorMessage() const;

    bool isCorrupt() const { return m_corrupt; }
    void markCorrupt() { m_corrupt = true; }

    sqlite3* handle() const { return m_db; }

private:
    friend class SqliteStatement;
    void logError(const QString& context) const;
    void noteResult(int result);

    sqlite3* m_db = nullptr;
    QString m_path;
    QString m_openError;
    bool m_corrupt = false;
};

// Rolls back on destruction unless committed.
class SqliteTransaction
{
public:
    explicit SqliteTransaction(SqliteDatabase& database) : m_database(database), m_open(database.beginTransaction()) {}
    ~SqliteTransaction()
    {
        if (m_open)
            m_database.rollback();
    }
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    bool isOpen() const { return m_open; }
    bool commit()
    {
        if (!m_open)
            return false;
        m_open = false;
        return m_database.commit();
    }

private:
    SqliteDatabase& m_database;
    bool m_open;
};

}  // namespace ombrelay
