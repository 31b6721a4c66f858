#pragma once

#include "engine/core/EngineHost.h"

#include <QString>
#include <QStringList>

namespace ombrelay {

class SessionLifecycle;
class TorrentLine;

// Puts torrents into the downloads list: the download or incomplete folder (or one the user picks),
// the session folder before the torrent starts, the download queue, files already on disk checked
// before anything is written over them, and the original torrent files to the trash when so set.
// Torrents from web sites that are not authorised need the user's word on the right to copy first.
class TorrentAdder
{
public:
    explicit TorrentAdder(SessionLifecycle& session) : m_session(session) {}

    void addTorrentLines(const TorrentLineList& lines, bool showFolderPanel, bool deleteOriginals,
                         bool selectAndDisplay);
    // Search results, feed entries and row actions: the right-to-copy prompt when a line comes from a
    // site not authorised, then adding, with the folder panel when "kConfirmLocationInternal" is on or
    // these lines must ask (`askForFolder`). A cancelled prompt leaves no request behind.
    void downloadTorrentLines(const TorrentLineList& lines, bool askForFolder = false);

    // The built-in sites of freely distributable content and those in "kAuthorizedSites".
    static bool isAuthorizedSite(const QString& host);
    // The hosts of the lines' addresses (lower case, no leading "www."), without authorised, repeated
    // or missing ones, in line order.
    static QStringList hostsFromTorrentLines(const TorrentLineList& lines);
    static EngineHost::RightToCopyPrompt rightToCopyPrompt(const TorrentLineList& lines, const QStringList& hosts);

private:
    void addConfirmedLines(const TorrentLineList& lines, bool askForFolder);
    // Adds the lines neither listed nor stored already; answers those whose session folder could not be
    // written.
    TorrentLineList addLines(const TorrentLineList& lines);
    bool addLine(const TorrentLinePtr& line);  // false: its session folder is not on disk
    // The originals go only where the metainfo is kept in a session folder.
    static void trashOriginals(const TorrentLineList& lines, const TorrentLineList& unsaved);

    SessionLifecycle& m_session;
};

}  // namespace ombrelay
