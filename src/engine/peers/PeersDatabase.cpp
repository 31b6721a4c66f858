#include "engine/peers/PeersDatabase.h"

#include "engine/peers/PeersFile.h"
#include "kit/SerialQueue.h"

#include <QCoreApplication>

#include <mutex>
#include <optional>

namespace ombrelay {

// What the queued jobs of one database share. The file and `discarding` belong to the queue; the
// news under the mutex pass to the main thread, which takes them on its next call.
struct PeersDatabase::FileLink
{
    explicit FileLink(const QString& path) : file(path) {}

    PeersFile file;
    // From a damage until the main thread has dropped its rows as well: changes made in between are
    // dropped on both sides, so the new file and the rows in memory stay alike.
    bool discarding = false;

    std::mutex mutex;
    std::optional<QList<Row>> storedRows;
    bool damaged = false;
    QString openError;

    // Queue side: passes on a failed open of the file.
    void noteOpenError()
    {
        if (file.openError().isEmpty())
            return;
        std::lock_guard lock(mutex);
        openError = file.openError();
    }
};

SerialQueue& PeersDatabase::fileQueue()
{
    static SerialQueue queue(QStringLiteral("ombrelay-peers"));
    // The last changes reach the files while the application, and its logging, still stand.
    [[maybe_unused]] static const bool drainedAtQuit = [] {
        qAddPostRoutine([] { queue.drain(); });
        return true;
    }();
    return queue;
}

PeersDatabase::PeersDatabase(QString path) : m_path(std::move(path))
{
    if (m_path.isEmpty()) {
        m_hasStoredRows = true;
        return;
    }
    m_file = std::make_shared<FileLink>(m_path);
    fileQueue().post(m_file.get(), [link = m_file] {
        QList<Row> rows = link->file.readRows();
        link->file.takeDamage();  // a damaged file was replaced before reading: the rows are the new file's
        link->noteOpenError();
        std::lock_guard lock(link->mutex);
        link->storedRows = std::move(rows);
    });
}

PeersDatabase::~PeersDatabase()
{
    // The last reference goes on the queue, after the queued changes: the file closes there.
    if (m_file)
        fileQueue().post(nullptr, [link = std::move(m_file)] {});
}

void PeersDatabase::takeFileNews()
{
    if (!m_file)
        return;
    std::optional<QList<Row>> stored;
    bool damaged = false;
    {
        std::lock_guard lock(m_file->mutex);
        stored.swap(m_file->storedRows);
        damaged = std::exchange(m_file->damaged, false);
        if (!m_file->openError.isEmpty())
            m_openError = m_file->openError;
    }
    if (stored) {
        PeerRows rows;
        rows.insertStored(*stored);
        for (const auto& change : m_changesBeforeRead)
            change(rows);
        m_changesBeforeRead.clear();
        m_rows = std::move(rows);
        m_hasStoredRows = true;
    }
    if (damaged) {
        m_rows.clear();
        fileQueue().post(m_file.get(), [link = m_file] { link->discarding = false; });
    }
}

template <typename Change>
auto PeersDatabase::change(Change apply)
{
    takeFileNews();
    if (!m_hasStoredRows)
        m_changesBeforeRead.append([apply](PeerRows& rows) { apply(rows); });
    if (m_file) {
        fileQueue().post(m_file.get(), [link = m_file, apply] {
            if (link->discarding)
                return;
            apply(link->file);
            link->noteOpenError();
            if (link->file.takeDamage()) {
                link->discarding = true;
                std::lock_guard lock(link->mutex);
                link->damaged = true;
            }
        });
    }
    return apply(m_rows);
}

bool PeersDatabase::hasStoredRows()
{
    takeFileNews();
    return m_hasStoredRows;
}

QString PeersDatabase::openError()
{
    takeFileNews();
    return m_openError;
}

int PeersDatabase::numberOfPeers()
{
    takeFileNews();
    return m_rows.count();
}

int PeersDatabase::numberOfUnusedPeers()
{
    takeFileNews();
    return m_rows.unusedCount();
}

bool PeersDatabase::hasDialablePeers()
{
    takeFileNews();
    return m_rows.hasDialable();
}

QList<PeersDatabase::Row> PeersDatabase::peersToDial()
{
    takeFileNews();
    return m_rows.toDial();
}

bool PeersDatabase::insertPeer(const PeerAddress& peer, Activity activity)
{
    return change([peer, activity](auto& table) { return table.insertPeer(peer, activity); });
}

int PeersDatabase::insertPeers(const QList<PeerAddress>& peers)
{
    if (peers.isEmpty())
        return 0;
    return change([peers](auto& table) { return table.insertPeers(peers); });
}

void PeersDatabase::deletePeer(const PeerAddress& peer)
{
    change([peer](auto& table) { table.deletePeer(peer); });
}

void PeersDatabase::setActivity(const PeerAddress& peer, Activity activity)
{
    change([peer, activity](auto& table) { table.setActivity(peer, activity); });
}

void PeersDatabase::addDownloadedBytes(const PeerAddress& peer, quint64 bytes)
{
    if (bytes == 0)
        return;
    change([peer, bytes](auto& table) { table.addDownloadedBytes(peer, bytes); });
}

void PeersDatabase::markAllInactive()
{
    change([](auto& table) { table.markAllInactive(); });
}

}  // namespace ombrelay
