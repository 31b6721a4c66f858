#include "app/desktop/KoiTunesController.h"

#include "app/desktop/GrowlController.h"
#include "kit/SerialQueue.h"
#include "kit/Settings.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <atomic>
#include <exception>
#include <optional>

namespace ombrelay {
namespace {

std::atomic<bool> s_terminating{false};

std::optional<MediaPlayers>& players()
{
    static std::optional<MediaPlayers> instance;
    return instance;
}

const MediaPlayers& currentPlayers()
{
    if (!players())
        players().emplace(QDBusConnection::sessionBus());
    return *players();
}

QString uriFor(const QString& path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

}  // namespace

KoiTunesController::Plan KoiTunesController::planFromSettings()
{
    const Settings& settings = Settings::instance();
    return {std::nullopt, settings.boolean(QStringLiteral("kKoAddSongToPlaylist")),
            settings.string(QStringLiteral("kKoPlaylistName")), int(settings.integer(QStringLiteral("kKoPlaySong")))};
}

void KoiTunesController::usePlayers(const MediaPlayers& instance)
{
    players().emplace(instance);
}

SerialQueue& KoiTunesController::operationQueue()
{
    static SerialQueue queue(QStringLiteral("Media library"));
    return queue;
}

bool KoiTunesController::shouldAddFile(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile())
        return false;
    const Settings& settings = Settings::instance();
    return (settings.boolean(QStringLiteral("kKoAddSong")) && MediaLibrary::takesMusic(file.suffix())) ||
           (settings.boolean(QStringLiteral("kKoAddVideo")) && MediaLibrary::takesVideo(file.suffix()));
}

bool KoiTunesController::handleCompletedPath(const QString& path, const QString& pathInTorrent)
{
    if (!shouldAddFile(path))
        return false;
    currentPlayers();
    operationQueue().post(nullptr, [plan = planFromSettings(), path, pathInTorrent]() mutable {
        plan.library.emplace(MediaLibrary::userFolders());
        handOver(plan, path, pathInTorrent);
    });
    return true;
}

void KoiTunesController::addSongToPlaylistLater(const QString& path, const QString& pathInTorrent)
{
    operationQueue().post(nullptr, [plan = planFromSettings(), path, pathInTorrent]() mutable {
        plan.library.emplace(MediaLibrary::userFolders());
        if (addSongToPlaylist(plan, path, pathInTorrent).isEmpty())
            fprintf(stderr, "*** KoiTunesController: addSongToPlaylist: %s\n", qPrintable(path));
    });
}

void KoiTunesController::finishQueued()
{
    s_terminating = true;
    operationQueue().drain();
}

void KoiTunesController::resumeAfterQuit()
{
    s_terminating = false;
}

void KoiTunesController::handOver(const Plan& plan, const QString& path, const QString& pathInTorrent)
{
    try {
        const QString entry = plan.toPlaylist ? addSongToPlaylist(plan, path, pathInTorrent)
                                              : addSongToLibrary(plan, path, pathInTorrent);
        if (entry.isEmpty())
            fprintf(stderr, "*** KoiTunesController: %s: %s\n",
                    plan.toPlaylist ? "addSongToPlaylist" : "addSongToLibrary", qPrintable(path));
        if (s_terminating)
            return;
        const QString playable = entry.isEmpty() ? path : entry;
        switch (plan.playSong) {
        case 3:
            if (!addSongToPartyShuffle(playable))
                fprintf(stderr, "*** KoiTunesController: addSongToPartyShuffle: %s\n", qPrintable(playable));
            break;
        case 2:
            if (!iTunesIsPlaying())
                playSong(playable);
            break;
        case 1:
            playSong(playable);
            break;
        default:
            break;
        }
        if (!entry.isEmpty())
            GrowlController::growlCompletedExportWithTitle(QStringLiteral("File Exported to Music Library"), path);
    } catch (const std::exception& error) {
        fprintf(stderr, "*** KoiTunesController: %s\n", error.what());
    }
}

QString KoiTunesController::addSongToLibrary(const Plan& plan, const QString& path, const QString& pathInTorrent)
{
    return plan.library ? plan.library->addFile(path, pathInTorrent) : QString();
}

QString KoiTunesController::addSongToPlaylist(const Plan& plan, const QString& path, const QString& pathInTorrent)
{
    const QString entry = addSongToLibrary(plan, path, pathInTorrent);
    if (entry.isEmpty() || !plan.library->addToPlaylist(entry, plan.playlistName))
        return {};
    return entry;
}

bool KoiTunesController::addSongToPartyShuffle(const QString& path)
{
    return currentPlayers().addTrack(uriFor(path));
}

void KoiTunesController::playSong(const QString& path)
{
    const MediaPlayers& running = currentPlayers();
    if (running.isRunning()) {
        if (!running.openUri(uriFor(path)))
            fprintf(stderr, "*** KoiTunesController: playSong: %s\n", qPrintable(path));
        return;
    }
    const QFileInfo file(path);
    // The default application of a media file, never a program however the file is marked.
    if (file.isExecutable() || !(MediaLibrary::takesMusic(file.suffix()) || MediaLibrary::takesVideo(file.suffix()))) {
        fprintf(stderr, "*** KoiTunesController: playSong: refused %s\n", qPrintable(path));
        return;
    }
    const QUrl url = QUrl::fromLocalFile(file.absoluteFilePath());
    QMetaObject::invokeMethod(QCoreApplication::instance(), [url] { QDesktopServices::openUrl(url); }, Qt::QueuedConnection);
}

bool KoiTunesController::iTunesIsRunning()
{
    return currentPlayers().isRunning();
}

bool KoiTunesController::iTunesIsPlaying()
{
    return currentPlayers().isPlaying();
}

void KoiTunesController::iTunesValue(MediaPlayers::Query query, QObject* context,
                                     std::function<void(const QString&)> done)
{
    currentPlayers().query(query, context, std::move(done));
}

}  // namespace ombrelay
