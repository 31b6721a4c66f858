#pragma once

#include <QString>
#include <atomic>
#include <functional>

namespace ombrelay {

class SqliteDatabase;

// One rebuild of "Blocklist.db" from a text list (or a zip archive holding one), on the calling thread
// with its own connection: the merged ranges go into a new table, which replaces the old one in the same
// transaction. Until that commits, other connections read the old list; anything short of the commit
// (failure, cancel, crash) leaves it, and so does a text without a single usable range.
class BlocklistImport
{
public:
    enum class Result { Succeeded, Failed, Cancelled, Corrupt };
    struct Outcome
    {
        Result result = Result::Failed;
        qint64 entryCount = 0;  // usable lines
    };

    static constexpr int kInsertsPerReport = 100;

    // `progress` gets the fraction of ranges stored after every kInsertsPerReport inserts, and 1 at the
    // end; `cancelled` is read as often.
    static Outcome run(const QString& databasePath, const QString& listPath, const std::atomic_bool& cancelled,
                       const std::function<void(double)>& progress);

    // WAL mode (readers never wait for the import) and the table, so that lookups always prepare.
    static bool prepareConnection(SqliteDatabase& database);
};

}  // namespace ombrelay
