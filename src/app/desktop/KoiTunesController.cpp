#include "app/desktop/KoiTunesController.h"

#include "app/desktop/GrowlController.h"
#include "kit/AppPaths.h"
#include "kit/SerialQueue.h"
#include "kit/Settings.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <atomic>
#include <exception>
#include <optional>
#include <utility>

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
    // The files of one completion come in one pass of the loop: the next pass queues them together.
    if (completedFiles().isEmpty())
        QMetaObject::invokeMethod(QCoreApplication::instance(), &queueCompletedFiles, Qt::QueuedConnection);
    completedFiles().append({path, pathInTorrent});
    return true;
}

QList<KoiTunesController::CompletedFile>& KoiTunesController::completedFiles()
{
    static QList<CompletedFile> files;
    return files;
}

void KoiTunesController::queueCompletedFiles()
{
    const QList<CompletedFile> files = std::exchange(completedFiles(), {});
    if (files.isEmpty())
        return;
    operationQueue().post(nullptr, [plan = planFromSettings(), files, folder = AppPaths::temporaryDirectory()]() mutable {
        plan.library.emplace(MediaLibrary::userFolders());
        handOver(plan, files, folder);
    });
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
    queueCompletedFiles();
    s_terminating = true;
    operationQueue().drain();
}

void KoiTunesController::resumeAfterQuit()
{
    s_terminating = false;
}

void KoiTunesController::handOver(const Plan& plan, const QList<CompletedFile>& files, const QString& temporaryFolder)
{
    try {
        QStringList playable;
        QStringList exported;
        for (const CompletedFile& file : files) {
            const QString entry = plan.toPlaylist ? addSongToPlaylist(plan, file.path, file.pathInTorrent)
                                                  : addSongToLibrary(plan, file.path, file.pathInTorrent);
            if (entry.isEmpty())
                fprintf(stderr, "*** KoiTunesController: %s: %s\n",
                        plan.toPlaylist ? "addSongToPlaylist" : "addSongToLibrary", qPrintable(file.path));
            else
                exported.append(file.path);
            playable.append(entry.isEmpty() ? file.path : entry);
        }
        if (s_terminating)
            return;
        play(plan.playSong, playable, temporaryFolder);
        for (const QString& path : std::as_const(exported))
            GrowlController::growlCompletedExportWithTitle(QStringLiteral("File Exported to Music Library"), path);
    } catch (const std::exception& error) {
        fprintf(stderr, "*** KoiTunesController: %s\n", error.what());
    }
}

// The files that completed together go to the player as one: a player replaces what it plays at each
// address it opens, so an album is opened as its playlist, or queued whole, in order.
void KoiTunesController::play(int playSetting, const QStringList& paths, const QString& temporaryFolder)
{
    switch (playSetting) {
    case 3:
        if (!addSongsToPartyShuffle(paths))
            fprintf(stderr, "*** KoiTunesController: addSongToPartyShuffle: %s\n",
                    qPrintable(paths.join(QStringLiteral(", "))));
        break;
    case 2:
        if (iTunesIsPlaying())
            break;
        [[fallthrough]];
    case 1: {
        const QString opened = playableFile(paths, temporaryFolder);
        if (!opened.isEmpty() && !playSong(opened))
            openInDefaultApplication(opened);
        break;
    }
    default:
        break;
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

bool KoiTunesController::addSongsToPartyShuffle(const QStringList& paths)
{
    QStringList uris;
    for (const QString& path : paths)
        uris.append(uriFor(path));
    return currentPlayers().addTracks(uris);
}

bool KoiTunesController::playSong(const QString& path)
{
    const MediaPlayers& running = currentPlayers();
    if (running.openUri(uriFor(path)))
        return true;
    if (running.isRunning())
        fprintf(stderr, "*** KoiTunesController: playSong: refused %s\n", qPrintable(path));
    return false;
}

QString KoiTunesController::playableFile(const QStringList& paths, const QString& folder)
{
    QStringList playable;
    for (const QString& path : paths) {
        const QFileInfo file(path);
        // A media file, never a program however the file is marked.
        if (file.isExecutable() || !(MediaLibrary::takesMusic(file.suffix()) || MediaLibrary::takesVideo(file.suffix())))
            fprintf(stderr, "*** KoiTunesController: playSong: refused %s\n", qPrintable(path));
        else
            playable.append(file.absoluteFilePath());
    }
    if (playable.size() < 2)
        return playable.value(0);
    // An album: a playlist of its files, named after the folder they share.
    QString shared = QFileInfo(playable.first()).path();
    for (const QString& path : std::as_const(playable))
        while (shared.size() > 1 && !path.startsWith(shared + QLatin1Char('/')))
            shared = QFileInfo(shared).path();
    const QString name = MediaLibrary::safeComponent(QFileInfo(shared).fileName());
    const QString list = QDir(folder).filePath((name.isEmpty() ? QStringLiteral("Album") : name) + QStringLiteral(".m3u8"));
    QFile file(list);
    if (!folder.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write("#EXTM3U\n" + playable.join(QLatin1Char('\n')).toUtf8() + '\n') > 0 && file.flush())
        return list;
    fprintf(stderr, "*** KoiTunesController: could not write %s\n", qPrintable(list));
    return playable.first();
}

void KoiTunesController::openInDefaultApplication(const QString& path)
{
    const QUrl url = QUrl::fromLocalFile(path);
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
