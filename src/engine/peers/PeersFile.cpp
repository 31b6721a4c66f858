#include "engine/peers/PeersFile.h"

#include "kit/SqliteDatabase.h"

#include <QFile>

namespace ombrelay {
namespace {

struct StatementText
{
    const char* name;
    const char* sql;
};

// In the order of PeersFile::Statement. A statement about one peer takes its address and port first.
constexpr StatementText kStatementTexts[] = {
    {"readAllStatement", "SELECT address, port, downloaded FROM peers ORDER BY rowid;"},
    {"countStatement", "SELECT count(*) FROM peers;"},
    // A duplicate is refused by the key without an error.
    {"insertStatement", "INSERT OR IGNORE INTO peers (address, port, downloaded, isActive) VALUES (?1, ?2, 0, ?3)"},
    {"deleteStatement", "DELETE FROM peers WHERE address = ?1 AND port = ?2"},
    {"activeStatement", "UPDATE peers SET isActive = ?3 WHERE address == ?1 AND port == ?2"},
    {"updateStatement", "UPDATE peers SET downloaded = (downloaded + ?3) WHERE address == ?1 AND port == ?2"},
};

const char* const kMarkAllInactive = "UPDATE peers SET isActive = 0 WHERE isActive != 0";

// WAL with normal syncing: a write costs no fsync, and a crash loses at most the last writes, never
// the file.
const char* const kOpenStatements[] = {
    "PRAGMA journal_mode = WAL",
    "PRAGMA synchronous = NORMAL",
    "CREATE TABLE IF NOT EXISTS peers (address INT, port INT, downloaded INT, isActive INT, PRIMARY KEY (address, port))",
    "CREATE INDEX IF NOT EXISTS downloaded ON peers (downloaded)",
    "CREATE INDEX IF NOT EXISTS isActive ON peers (isActive)",
    kMarkAllInactive,
    "PRAGMA auto_vacuum = 1",
    "VACUUM;",
};

}  // namespace

PeersFile::PeersFile(QString path) : m_path(std::move(path)) {}

PeersFile::~PeersFile()
{
    close();
}

void PeersFile::close()
{
    for (auto& statement : m_statements)
        statement.reset();
    m_database.reset();
    m_openFailed = false;
    m_openError.clear();
}

void PeersFile::handleCorruptedDatabaseFile()
{
    qWarning("*** peers database %s is damaged; its known peers are dropped", qPrintable(m_path));
    m_damaged = true;
    close();
    QFile::remove(m_path);
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(m_path + QLatin1String(suffix));
}

bool PeersFile::openFile()
{
    m_database = std::make_unique<SqliteDatabase>();
    if (!m_database->open(m_path)) {
        m_openError = m_database->errorMessage();
        return false;
    }
    for (const char* sql : kOpenStatements) {
        if (!m_database->execute(sql)) {
            m_openError = m_database->errorMessage();
            return false;
        }
    }
    return true;
}

bool PeersFile::open()
{
    if (m_database)
        return true;
    // Nothing is written into the new file of a damaged one before the owner has taken the damage.
    if (m_openFailed || m_damaged)
        return false;
    if (openFile())
        return true;
    // A file that is not a database, or a damaged one, is replaced once; other failures (a missing
    // folder, a full disk) leave the file alone, and it is not tried again.
    if (m_database && m_database->isCorrupt()) {
        handleCorruptedDatabaseFile();
        if (openFile())
            return true;
    }
    m_database.reset();
    m_openFailed = true;
    if (m_openError.isEmpty())
        m_openError = QStringLiteral("unable to open database file");
    return false;
}

SqliteStatement* PeersFile::statement(Statement which)
{
    if (!open())
        return nullptr;
    std::unique_ptr<SqliteStatement>& slot = m_statements[which];
    if (!slot) {
        slot = m_database->prepare(QString::fromLatin1(kStatementTexts[which].name), kStatementTexts[which].sql);
        if (!slot) {
            handleCorruptedDatabaseFile();
            return nullptr;
        }
    }
    return slot.get();
}

SqliteStatement* PeersFile::statement(Statement which, const PeerAddress& peer)
{
    SqliteStatement* query = statement(which);
    if (query) {
        query->bind(1, peer.storedAddress());
        query->bind(2, qint64(peer.port));
    }
    return query;
}

void PeersFile::changePeer(Statement which, const PeerAddress& peer, std::optional<qint64> value)
{
    if (SqliteStatement* query = statement(which, peer)) {
        if (value)
            query->bind(3, *value);
        query->run();
        checkHealth();
    }
}

void PeersFile::checkHealth()
{
    if (m_database && m_database->isCorrupt())
        handleCorruptedDatabaseFile();
}

int PeersFile::numberOfPeers()
{
    SqliteStatement* query = statement(Count);
    if (!query)
        return 0;
    const int result = query->step() == SqliteStatement::Step::Row ? int(query->integer(0)) : 0;
    query->reset();
    checkHealth();
    return result;
}

// Leaves the health check to the caller, which may hold a transaction on the connection.
bool PeersFile::insert(const PeerAddress& peer, Activity activity)
{
    SqliteStatement* query = statement(Insert, peer);
    if (!query)
        return false;
    query->bind(3, qint64(activity));
    return query->run() && m_database->changes() > 0;
}

bool PeersFile::insertPeer(const PeerAddress& peer, Activity activity)
{
    if (!peer.isUsable() || numberOfPeers() >= PeerRows::kMaxRows)
        return false;
    const bool added = insert(peer, activity);
    checkHealth();
    return added;
}

int PeersFile::insertPeers(const QList<PeerAddress>& peers)
{
    const int room = PeerRows::kMaxRows - numberOfPeers();
    if (room <= 0 || peers.isEmpty() || !open() || !statement(Insert))
        return 0;
    int added = 0;
    {
        SqliteTransaction transaction(*m_database);
        for (const PeerAddress& peer : peers) {
            if (added == room || m_database->isCorrupt())
                break;
            if (peer.isUsable() && insert(peer, Activity::Inactive))
                ++added;
        }
        if (m_database->isCorrupt() || !transaction.commit())
            added = 0;
    }
    checkHealth();
    return added;
}

void PeersFile::deletePeer(const PeerAddress& peer)
{
    changePeer(Delete, peer);
}

void PeersFile::setActivity(const PeerAddress& peer, Activity activity)
{
    changePeer(SetActivity, peer, qint64(activity));
}

void PeersFile::addDownloadedBytes(const PeerAddress& peer, quint64 bytes)
{
    if (bytes > 0)
        changePeer(AddBytes, peer, qint64(std::min<quint64>(bytes, quint64(INT64_MAX))));
}

void PeersFile::markAllInactive()
{
    if (open() && !m_database->execute(kMarkAllInactive))
        checkHealth();
}

QList<PeersFile::Row> PeersFile::readRows()
{
    QList<Row> rows;
    SqliteStatement* query = statement(ReadAll);
    if (!query)
        return rows;
    while (rows.size() < PeerRows::kMaxRows && query->step() == SqliteStatement::Step::Row)
        rows.append({PeerAddress::fromStored(query->integer(0), query->integer(1)), query->integer(2)});
    query->reset();
    checkHealth();
    return rows;
}

}  // namespace ombrelay
