#pragma once

#include "engine/core/EngineHost.h"

#include <QObject>
#include <QSet>
#include <QStringList>

namespace ombrelay {

class SessionLifecycle;

// Rebuilds the downloads list at start from the session folders, 20 per pass of the event loop: each
// torrent starts in its stored state. A folder that cannot be rebuilt is skipped and left on disk; a
// second folder of an info hash already loaded is skipped and logged.
class SessionLoader : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFoldersPerPass = 20;
    static constexpr qint64 kMaxMetainfoBytes = 64LL * 1024 * 1024;

    explicit SessionLoader(SessionLifecycle& session, QObject* parent = nullptr);

    // Lists the "Torrents" folder and loads it over the next passes of the event loop.
    void loadTorrentsFromDisk();
    // Rebuilds one torrent from its folder (not started, not listed); null when it cannot be.
    TorrentLinePtr torrentFromFolder(const QString& path);

signals:
    void passLoaded(int count);
    void finished();

private:
    void loadNextPass();

    SessionLifecycle& m_session;
    QStringList m_pending;
    QSet<QByteArray> m_infoHashes;
};

}  // namespace ombrelay
