#pragma once

#include "engine/core/EngineHost.h"

#include <QString>

namespace ombrelay {

class PZIndexSet;
class SessionLifecycle;
class TorrentLine;

// Puts torrents into the downloads list: the download or incomplete folder (or one the user picks),
// the session folder before the torrent starts, the download queue, files already on disk checked
// before anything is written over them, and the original torrent files to the trash when so set.
class TorrentAdder
{
public:
    explicit TorrentAdder(SessionLifecycle& session) : m_session(session) {}

    void addTorrentLines(const TorrentLineList& lines, bool showFolderPanel, bool deleteOriginals,
                         bool selectAndDisplay);
    // Search results, feed entries and row actions: the folder panel when "kConfirmLocationInternal".
    void downloadTorrentLines(const TorrentLineList& lines);

    // A file of the torrent that holds data and none of whose pieces verified: not the torrent's data.
    static QString unrelatedExistingFile(const TorrentLine& torrent, const PZIndexSet& verifiedPieces);

private:
    void addLines(const TorrentLineList& lines);
    void addLine(const TorrentLinePtr& line);
    static void trashOriginals(const TorrentLineList& lines);

    SessionLifecycle& m_session;
};

}  // namespace ombrelay
