#include "kit/SqliteDatabase.h"

#include <QFile>
#include <sqlite3.h>

namespace ombrelay {

SqliteStatement::SqliteStatement(SqliteDatabase& database, sqlite3_stmt* statement, const QString& name)
    : m_database(database), m_statement(statement), m_name(name)
{
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

bool SqliteStatement::checkBind(int result, int index)
{
    if (result == SQLITE_OK)
        return true;
    m_database.logError(QStringLiteral("%1: binding %2").arg(m_name).arg(index));
    return false;
}

void SqliteStatement::bindNull(int index)
{
    checkBind(sqlite3_bind_null(m_statement, index), index);
}

void SqliteStatement::bind(int index, qint64 value)
{
    checkBind(sqlite3_bind_int64(m_statement, index, value), index);
}

void SqliteStatement::bind(int index, double value)
{
    checkBind(sqlite3_bind_double(m_statement, index, value), index);
}

void SqliteStatement::bind(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    checkBind(sqlite3_bind_text64(m_statement, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                                  SQLITE_TRANSIENT, SQLITE_UTF8),
              index);
}

void SqliteStatement::bind(int index, const QByteArray& blob)
{
    // A null pointer would bind NULL; an empty blob stays an empty blob.
    static const char empty = 0;
    checkBind(sqlite3_bind_blob64(m_statement, index, blob.isEmpty() ? &empty : blob.constData(),
                                  sqlite3_uint64(blob.size()), SQLITE_TRANSIENT),
              index);
}

SqliteStatement::Step SqliteStatement::step()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return Step::Row;
    if (result == SQLITE_DONE)
        return Step::Done;
    m_database.noteResult(result);
    m_database.logError(m_name);
    sqlite3_reset(m_statement);
    return Step::Error;
}

bool SqliteStatement::run()
{
    Step result;
    do
        result = step();
    while (result == Step::Row);
    reset();
    return result == Step::Done;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

int SqliteStatement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double SqliteStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString SqliteStatement::text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    const int length = sqlite3_column_bytes(m_statement, column);
    return text ? QString::fromUtf8(text, length) : QString();
}

QByteArray SqliteStatement::blob(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    const int length = sqlite3_column_bytes(m_statement, column);
    return bytes ? QByteArray(bytes, length) : QByteArray();
}

SqliteDatabase::~SqliteDatabase()
{
    close();
}

bool SqliteDatabase::open(const QString& path, int busyTimeoutMs)
{
    close();
    m_path = path;
    m_corrupt = false;
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result != SQLITE_OK) {
        m_openError = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(result));
        qWarning("*** sql error: cannot open %s: %s", qPrintable(path), qPrintable(m_openError));
        close();
        return false;
    }
    m_openError.clear();
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    return true;
}

void SqliteDatabase::close()
{
    if (!m_db)
        return;
    // sqlite3_close refuses while statements live; close_v2 defers until their owners let them go.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool SqliteDatabase::execute(const char* sql)
{
    if (!m_db)
        return false;
    char* message = nullptr;
    const int result = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        noteResult(result);
        qWarning("*** sql error: %s (%s)", message ? message : sqlite3_errstr(result), sql);
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::unique_ptr<SqliteStatement> SqliteDatabase::prepare(const QString& name, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    const int result =
        m_db ? sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) : SQLITE_MISUSE;
    if (result != SQLITE_OK || !statement) {
        sqlite3_finalize(statement);
        qWarning("*** sql error: %s == nil (%s)", qPrintable(name),
                 m_db ? sqlite3_errmsg(m_db) : "database not open");
        m_corrupt = true;
        return nullptr;
    }
    return std::unique_ptr<SqliteStatement>(new SqliteStatement(*this, statement, name));
}

bool SqliteDatabase::beginTransaction()
{
    return execute("BEGIN IMMEDIATE");
}

bool SqliteDatabase::commit()
{
    return execute("COMMIT");
}

bool SqliteDatabase::rollback()
{
    // Some errors end the transaction by themselves; then there is nothing to roll back.
    if (!m_db || sqlite3_get_autocommit(m_db))
        return false;
    return execute("ROLLBACK");
}

qint64 SqliteDatabase::lastInsertRowId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int SqliteDatabase::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

QString SqliteDatabase::errorMessage() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : m_openError;
}

void SqliteDatabase::logError(const QString& context) const
{
    qWarning("*** sql error: %s (%s)", qPrintable(errorMessage()), qPrintable(context));
}

void SqliteDatabase::noteResult(int result)
{
    const int primary = result & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
        m_corrupt = true;
}

}  // namespace ombrelay
