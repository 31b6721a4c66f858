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
    QStringList unplayed;
    for (const CompletedFile& file : files) {
        QString playable;
        if (handOver(plan, file, playable))
            unplayed.append(playable);
    }
    if (!s_terminating)
        openInDefaultApplication(unplayed, temporaryFolder);
}

bool KoiTunesController::handOver(const Plan& plan, const CompletedFile& file, QString& playable)
{
    bool leftToDefault = false;
    try {
        const QString entry = plan.toPlaylist ? addSongToPlaylist(plan, file.path, file.pathInTorrent)
                                              : addSongToLibrary(plan, file.path, file.pathInTorrent);
        if (entry.isEmpty())
            fprintf(stderr, "*** KoiTunesController: %s: %s\n",
                    plan.toPlaylist ? "addSongToPlaylist" : "addSongToLibrary", qPrintable(file.path));
        if (s_terminating)
            return false;
        playable = entry.isEmpty() ? file.path : entry;
        switch (plan.playSong) {
        case 3:
            if (!addSongToPartyShuffle(playable))
                fprintf(stderr, "*** KoiTunesController: addSongToPartyShuffle: %s\n", qPrintable(playable));
            break;
        case 2:
            leftToDefault = !iTunesIsPlaying() && !playSong(playable);
            break;
        case 1:
            leftToDefault = !playSong(playable);
            break;
        default:
            break;
        }
        if (!entry.isEmpty())
            GrowlController::growlCompletedExportWithTitle(QStringLiteral("File Exported to Music Library"), file.path);
    } catch (const std::exception& error) {
        fprintf(stderr, "*** KoiTunesController: %s\n", error.what());
    }
    return leftToDefault;
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

bool KoiTunesController::playSong(const QString& path)
{
    const MediaPlayers& running = currentPlayers();
    const QString uri = uriFor(path);
    if (running.playerFor(uri).isEmpty())
        return false;
    if (running.openUri(uri))
        return true;
    fprintf(stderr, "*** KoiTunesController: playSong: refused %s\n", qPrintable(path));
    return false;
}

void KoiTunesController::openInDefaultApplication(const QStringList& paths, const QString& folder)
{
    QStringList playable;
    for (const QString& path : paths) {
        const QFileInfo file(path);
        // The default application of a media file, never a program however the file is marked.
        if (file.isExecutable() || !(MediaLibrary::takesMusic(file.suffix()) || MediaLibrary::takesVideo(file.suffix())))
            fprintf(stderr, "*** KoiTunesController: playSong: refused %s\n", qPrintable(path));
        else
            playable.append(file.absoluteFilePath());
    }
    if (playable.isEmpty())
        return;
    QString opened = playable.first();
    if (playable.size() > 1) {
        // An album opens once: a playlist of its files, named after the folder they share.
        QString shared = QFileInfo(playable.first()).path();
        for (const QString& path : std::as_const(playable))
            while (shared.size() > 1 && !path.startsWith(shared + QLatin1Char('/')))
                shared = QFileInfo(shared).path();
        const QString name = MediaLibrary::safeComponent(QFileInfo(shared).fileName());
        const QString list = QDir(folder).filePath((name.isEmpty() ? QStringLiteral("Album") : name) + QStringLiteral(".m3u8"));
        QFile file(list);
        if (!folder.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write("#EXTM3U\n" + playable.join(QLatin1Char('\n')).toUtf8() + '\n') > 0 && file.flush())
            opened = list;
        else
            fprintf(stderr, "*** KoiTunesController: could not write %s\n", qPrintable(list));
    }
    const QUrl url = QUrl::fromLocalFile(opened);
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
