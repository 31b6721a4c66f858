#pragma once

#include "engine/core/EngineHost.h"

#include <QString>
#include <functional>

namespace ombrelay {

class TorrentLine;

// The torrent model's calls into storage, the session folder and adding torrents. The storage code
// installs its lifecycle; until then torrents live in memory only, every volume counts as attached,
// and adding puts lines straight into the downloads list.
class TorrentLifecycle
{
public:
    virtual ~TorrentLifecycle() = default;

    static TorrentLifecycle& instance();  // never null
    static void install(TorrentLifecycle* lifecycle);

    // Adding with the right-to-copy confirmation (search results, feed entries, row actions); with
    // `askForFolder` the user picks the folder for these lines whatever the settings say.
    virtual void downloadTorrentLines(const TorrentLineList& lines, bool askForFolder = false) = 0;

    // The torrent is starting: give it its piece store. Memory-only torrents have none.
    virtual void prepareStorage(TorrentLine&) {}
    virtual void writeStatePlist(TorrentLine& torrent) = 0;
    // The torrent resumes: a session folder that could not be written when it was added is written now.
    // False when it still cannot be; the torrent is paused with the reason then.
    virtual bool writeMissingSessionFolder(TorrentLine&) { return true; }
    // Checks the files of a torrent parked for it (TorrentLine::isCheckingFiles) and hands it the verdict;
    // nothing when its check runs already. Memory-only torrents have nothing to check.
    virtual void checkExistingFiles(TorrentLine& torrent);
    virtual void purgeCachedDescriptors(TorrentLine& torrent) = 0;
    // For a torrent marked to move on completion: moves its content to the download folder, sets the
    // torrent's folder and clears the mark; logs and keeps the mark when the move fails. `done` runs on
    // the main thread once the move ended either way (at once, or after a copy to another disk).
    virtual void relocateOnCompletion(TorrentLine& torrent, std::function<void()> done) = 0;
    // The torrent left the downloads list: trash incomplete content, delete the session folder.
    virtual void torrentRemoved(TorrentLine& torrent, bool wasComplete) = 0;

    // Whether the disk of a folder is away, judged by the mounts known to hold download folders; for
    // folders no torrent is in yet (the download and incomplete folders).
    virtual bool isPathOnUnattachedVolume(const QString& path) const = 0;
    // Whether the disk of a torrent's data is away, judged by the mount recorded for that torrent alone.
    virtual bool isOnUnattachedVolume(const TorrentLine& torrent) const;
    // The same question about a file of the torrent, fixed now and asked from its store's queues.
    virtual std::function<bool(const QString& path)> detachedTest(const TorrentLine& torrent) const;
    virtual QString volumeName(const QString& path) const = 0;
};

}  // namespace ombrelay
