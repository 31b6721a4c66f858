#pragma once

#include "engine/blocklist/BlocklistImport.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

namespace ombrelay {

class SerialQueue;
class Settings;
class SqliteDatabase;
class SqliteStatement;

// Ranges of IPv4 addresses the engine must not talk to, in "Blocklist.db" in the application-support
// folder, used while "kBlocklistEnabled" is on. Lookups run on the main thread on their own connection;
// an import reads a text list off the main thread on a second connection, builds a new table beside the
// old one and swaps it in with one transaction, so lookups answer from the old list until the new one is
// complete and a failed, cancelled or interrupted import leaves the old list. The file is in WAL mode so
// that lookups never wait for an import.
class Blocklist : public QObject
{
    Q_OBJECT
public:
    static Blocklist& instance();  // on the application-support folder and the process-wide settings
    static QString databasePath(); // "<application support>/Blocklist.db"

    Blocklist(QString databasePath, Settings& settings, QObject* parent = nullptr);
    ~Blocklist() override;  // cancels a running import and waits for it

    bool isEnabled() const { return m_enabled; }
    // True when the blocklist is on and the address (network order) lies in a stored range. Quiet: the
    // caller that refuses the connection logs it (or calls shouldRefuseAddress).
    bool isBlocked(quint32 address);
    // isBlocked, logging "*** Blocklist: Refusing connection to: <address>" when it answers true.
    bool shouldRefuseAddress(quint32 address);

    // Rebuilds the list from a text list or a zip archive holding one, off the main thread. Progress and
    // the end are signalled on the main thread. False (and nothing started) while an import runs.
    bool importList(const QString& path);
    void cancelImport();
    // Cancels a running import and returns once it stopped (it checks every few inserts); quit.
    void cancelImportAndWait();
    QString path() const { return m_databasePath; }
    bool isImporting() const { return m_importing; }

signals:
    void importProgress(double fraction);  // 0 to 1
    // On success "kBlocklistLastUpdate" (ISO 8601, UTC) and "kBlocklistEntryCount" (usable lines) are
    // written before this is sent.
    void importFinished(bool succeeded);

private:
    bool openLookup();
    void closeLookup();
    void startImport(const QString& path, bool retryOnCorrupt);
    void importEnded(const QString& path, bool retryOnCorrupt, BlocklistImport::Outcome outcome);

    QString m_databasePath;
    Settings& m_settings;
    bool m_enabled = false;
    std::unique_ptr<SqliteDatabase> m_database;  // lookups
    std::unique_ptr<SqliteStatement> m_lookup;
    bool m_lookupBroken = false;  // not retried before the next import
    std::unique_ptr<SerialQueue> m_queue;  // made on the first import
    bool m_importing = false;
    std::atomic_bool m_cancelled{false};
};

}  // namespace ombrelay
