#pragma once

#include "platform/MediaLibrary.h"
#include "platform/MediaPlayers.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QObject;

namespace ombrelay {

class SerialQueue;

// The hand-over of completed music and video to the media library: an entry in the library folder (or
// the named playlist), then play or queue it in the running player as the settings say, and a notice.
// Class operations only. The files that complete together (an album) are queued as one hand-over, after
// the settings are read on the main thread; the work runs on the component's own serial queue, in the
// order of completion.
class KoiTunesController
{
public:
    // What one hand-over does, as the settings said when it was queued (the library's folders are looked
    // up on the queue).
    struct Plan
    {
        std::optional<MediaLibrary> library;
        bool toPlaylist = false;
        QString playlistName;
        int playSong = 0;  // 0 nothing, 1 play, 2 play unless playing, 3 queue
    };
    static Plan planFromSettings();

    // The bus on which players are looked for (the session bus unless set). Set before any hand-over.
    static void usePlayers(const MediaPlayers& players);
    static SerialQueue& operationQueue();

    static bool shouldAddFile(const QString& path);
    // Queues the hand-over when shouldAddFile(), with the files completed in the same pass of the event
    // loop; true when queued.
    static bool handleCompletedPath(const QString& path, const QString& pathInTorrent);
    // The list's "Add to Music Library": the entry and playlist step alone, queued.
    static void addSongToPlaylistLater(const QString& path, const QString& pathInTorrent);
    // At quit: queued entry and playlist steps finish; play steps and notices are skipped until the next
    // launch in this process calls resumeAfterQuit().
    static void finishQueued();
    static void resumeAfterQuit();

    // Queue operations. The added entry's path, or empty.
    static QString addSongToLibrary(const Plan& plan, const QString& path, const QString& pathInTorrent);
    static QString addSongToPlaylist(const Plan& plan, const QString& path, const QString& pathInTorrent);
    // Queued in their order in a running player's track list; false when none took them.
    static bool addSongsToPartyShuffle(const QStringList& paths);
    // In a running player that can open it; false when none takes it.
    static bool playSong(const QString& path);
    // What is played of files completed together: one file itself, several (an album) as one playlist
    // written in `folder`; never an executable file. Empty when none may be played.
    static QString playableFile(const QStringList& paths, const QString& folder);
    // What no player took, in the desktop's default application.
    static void openInDefaultApplication(const QString& path);
    static bool iTunesIsRunning();
    static bool iTunesIsPlaying();

    // A value of the running player or its track, answered on the context's thread without blocking it;
    // empty for none.
    static void iTunesValue(MediaPlayers::Query query, QObject* context, std::function<void(const QString&)> done);

private:
    struct CompletedFile
    {
        QString path;
        QString pathInTorrent;
    };
    static QList<CompletedFile>& completedFiles();
    static void queueCompletedFiles();
    // The files' entries, then one play step for them all, then their notices.
    static void handOver(const Plan& plan, const QList<CompletedFile>& files, const QString& temporaryFolder);
    static void play(int playSetting, const QStringList& paths, const QString& temporaryFolder);
};

}  // namespace ombrelay
