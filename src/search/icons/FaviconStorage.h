#pragma once

#include "kit/SqliteDatabase.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>

namespace ombrelay {

// The site-icon database "FaviconStorage.db": table "icons" (host, data, creationDate in seconds since
// 1 January 2001 UTC), rows only inserted and purged. Opening creates the schema, vacuums and drops rows
// older than 7 days; a damaged file is set aside (".damaged") and a new one started. One thread at a time.
class FaviconStorage
{
public:
    static constexpr int kLifetimeDays = 7;

    explicit FaviconStorage(QString path);
    ~FaviconStorage();

    bool open(const QDateTime& now);
    bool isOpen() const { return m_database.isOpen(); }
    // The newest row's bytes for exactly this host (case-insensitive), or none.
    QByteArray storedData(const QString& host);
    bool store(const QString& host, const QByteArray& data, const QDateTime& now);
    // Deletes the rows made more than `days` days before `now`; how many went.
    int purgeItemsOlderThanDays(int days, const QDateTime& now);

    static double referenceSeconds(const QDateTime& date);

private:
    bool openFile(const QDateTime& now);
    void close();

    QString m_path;
    SqliteDatabase m_database;
    std::unique_ptr<SqliteStatement> m_select;
    std::unique_ptr<SqliteStatement> m_insert;
    std::unique_ptr<SqliteStatement> m_purge;
};

}  // namespace ombrelay
