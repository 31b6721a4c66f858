#include "search/icons/FaviconStorage.h"

#include "kit/FileHelpers.h"

#include <QFile>
#include <cstdio>

namespace ombrelay {
namespace {

const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

}  // namespace

FaviconStorage::FaviconStorage(QString path)
    : m_path(std::move(path))
{
}

FaviconStorage::~FaviconStorage()
{
    close();
}

double FaviconStorage::referenceSeconds(const QDateTime& date)
{
    return double(kReferenceDate.msecsTo(date)) / 1000.0;
}

bool FaviconStorage::open(const QDateTime& now)
{
    if (openFile(now))
        return true;
    // Damaged: kept aside for a look, and a fresh file in its place.
    close();
    const QString aside = m_path + QStringLiteral(".damaged");
    QFile::remove(aside);
    QFile::rename(m_path, aside);
    fprintf(stderr, "*** sql error: %s is damaged, set aside\n", qPrintable(m_path));
    return openFile(now) || (close(), false);
}

bool FaviconStorage::openFile(const QDateTime& now)
{
    if (!createParentFolders(m_path) || !m_database.open(m_path))
        return false;
    const bool ready = m_database.execute("CREATE TABLE IF NOT EXISTS icons (host TEXT, data BLOB, creationDate REAL);"
                                          "CREATE INDEX IF NOT EXISTS host ON icons (host);"
                                          "CREATE INDEX IF NOT EXISTS creationDate ON icons (creationDate);"
                                          "PRAGMA auto_vacuum = 1;"
                                          "VACUUM;");
    if (!ready || m_database.isCorrupt())
        return false;
    // Exact host, newest row: "=" with NOCASE, never a LIKE pattern that "_" or "%" in a host would widen.
    m_select = m_database.prepare(QStringLiteral("select icon"),
                                  "SELECT data FROM icons WHERE host = ? COLLATE NOCASE ORDER BY rowid DESC LIMIT 1");
    m_insert = m_database.prepare(QStringLiteral("insert icon"),
                                  "INSERT INTO icons (host, data, creationDate) VALUES(?, ?, ?)");
    m_purge = m_database.prepare(QStringLiteral("purge icons"), "DELETE FROM icons WHERE creationDate < ?");
    if (!m_select || !m_insert || !m_purge || m_database.isCorrupt())
        return false;
    purgeItemsOlderThanDays(kLifetimeDays, now);
    return !m_database.isCorrupt();
}

void FaviconStorage::close()
{
    m_select.reset();
    m_insert.reset();
    m_purge.reset();
    m_database.close();
}

QByteArray FaviconStorage::storedData(const QString& host)
{
    if (!m_select)
        return {};
    m_select->bind(1, host);
    QByteArray data;
    if (m_select->step() == SqliteStatement::Step::Row)
        data = m_select->blob(0);
    m_select->reset();
    return data;
}

bool FaviconStorage::store(const QString& host, const QByteArray& data, const QDateTime& now)
{
    if (!m_insert)
        return false;
    m_insert->bind(1, host);
    m_insert->bind(2, data);
    m_insert->bind(3, referenceSeconds(now));
    return m_insert->run();
}

int FaviconStorage::purgeItemsOlderThanDays(int days, const QDateTime& now)
{
    if (!m_purge)
        return 0;
    m_purge->bind(1, referenceSeconds(now) - double(days) * 86400.0);
    return m_purge->run() ? m_database.changes() : 0;
}

}  // namespace ombrelay
