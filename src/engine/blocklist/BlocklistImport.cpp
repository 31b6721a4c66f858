#include "engine/blocklist/BlocklistImport.h"

#include "engine/blocklist/BlocklistSource.h"
#include "engine/blocklist/BlocklistText.h"
#include "kit/FileHelpers.h"
#include "kit/SqliteDatabase.h"

#include <cstdio>

namespace ombrelay {

bool BlocklistImport::prepareConnection(SqliteDatabase& database)
{
    return database.execute("PRAGMA journal_mode=WAL") &&
           database.execute("CREATE TABLE IF NOT EXISTS blocklist (lower INT PRIMARY KEY, upper INT)");
}

BlocklistImport::Outcome BlocklistImport::run(const QString& databasePath, const QString& listPath,
                                              const std::atomic_bool& cancelled,
                                              const std::function<void(double)>& progress)
{
    QString error;
    const std::optional<QByteArray> bytes = BlocklistSource::read(listPath, &error);
    if (!bytes) {
        qWarning("*** setRawBlocklistPath: %s", qPrintable(error));
        return {};
    }
    const std::optional<BlocklistText::Parsed> parsed = BlocklistText::parse(*bytes);
    if (!parsed) {
        qWarning("*** setRawBlocklistPath: %s is larger than %lld bytes", qPrintable(listPath),
                 qlonglong(BlocklistText::kMaxTextBytes));
        return {};
    }
    std::fprintf(stderr, "Blocklist: %lld bytes, %lld lines, %lld ranges\n", qlonglong(bytes->size()),
                 qlonglong(parsed->lineCount), qlonglong(parsed->ranges.size()));
    // An empty file or an error page is no list: it must not wipe the one in use.
    if (parsed->ranges.isEmpty()) {
        qWarning("*** setRawBlocklistPath: no address ranges in %s", qPrintable(listPath));
        return {};
    }

    SqliteDatabase database;
    const auto failed = [&database] {
        return Outcome{database.isCorrupt() ? Result::Corrupt : Result::Failed, 0};
    };
    if (!createParentFolders(databasePath) || !database.open(databasePath) || !prepareConnection(database))
        return failed();
    SqliteTransaction transaction(database);
    if (!transaction.isOpen() || !database.execute("DROP TABLE IF EXISTS blocklist_new") ||
        !database.execute("CREATE TABLE blocklist_new (lower INT PRIMARY KEY, upper INT)"))
        return failed();
    const std::unique_ptr<SqliteStatement> insert =
        database.prepare(QStringLiteral("insertStatement"), "INSERT INTO blocklist_new (lower, upper) VALUES(?, ?)");
    if (!insert)
        return failed();

    const QVector<BlocklistText::Range>& ranges = parsed->ranges;
    for (qsizetype i = 0; i < ranges.size(); ++i) {
        insert->bind(1, qint64(ranges[i].lower));
        insert->bind(2, qint64(ranges[i].upper));
        if (!insert->run())
            return failed();
        if ((i + 1) % kInsertsPerReport == 0) {
            if (cancelled)
                return {Result::Cancelled, 0};
            progress(double(i + 1) / double(ranges.size()));
        }
    }
    if (cancelled)
        return {Result::Cancelled, 0};
    if (!database.execute("DROP TABLE blocklist") ||
        !database.execute("ALTER TABLE blocklist_new RENAME TO blocklist") || !transaction.commit())
        return failed();
    progress(1.0);
    return {Result::Succeeded, parsed->usableLines};
}

}  // namespace ombrelay
