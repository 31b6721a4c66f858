#pragma once

#include "platform/MediaLibrary.h"
#include "platform/MediaPlayers.h"

#include <QString>
#include <functional>
#include <optional>

class QObject;

namespace ombrelay {

class SerialQueue;

// The hand-over of completed music and video to the media library: an entry in the library folder (or
// the named playlist), then play or queue it in the running player as the settings say, and a notice.
// Class operations only. The settings are read on the main thread when a hand-over is queued; the work runs
// on the component's own serial queue, in the order of completion.
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
    // Queues the hand-over when shouldAddFile(); true when queued.
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
    static bool addSongToPartyShuffle(const QString& path);
    // In the running player, else in the desktop's default application (never an executable file).
    static void playSong(const QString& path);
    static bool iTunesIsRunning();
    static bool iTunesIsPlaying();

    // A value of the running player or its track, answered on the context's thread without blocking it;
    // empty for none.
    static void iTunesValue(MediaPlayers::Query query, QObject* context, std::function<void(const QString&)> done);

private:
    static void handOver(const Plan& plan, const QString& path, const QString& pathInTorrent);
};

}  // namespace ombrelay
