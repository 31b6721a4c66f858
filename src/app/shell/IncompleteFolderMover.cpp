#include "app/shell/IncompleteFolderMover.h"

#include "engine/storage/SessionLifecycle.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/PerformLater.h"
#include "kit/Settings.h"
#include "transfers/KoDownloadsController.h"
#include "uikit/PZAlert.h"

#include <QDir>
#include <QStandardPaths>

namespace ombrelay {

IncompleteFolderMover::IncompleteFolderMover(KoDownloadsController& downloads, SessionLifecycle* session,
                                             std::function<QWidget*()> window, QObject* parent)
    : QObject(parent), m_downloads(downloads), m_session(session), m_window(std::move(window))
{
    connect(&Settings::instance(), &Settings::changed, this, &IncompleteFolderMover::settingChanged);
}

QString IncompleteFolderMover::normalizedPath(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(AppPaths::expandTilde(path));
}

bool IncompleteFolderMover::isKeptFolder(const QString& path)
{
    const QString folder = normalizedPath(path);
    if (folder.isEmpty() || folder == QLatin1String("/") || folder == normalizedPath(QDir::homePath()) ||
        folder == normalizedPath(AppPaths::downloadPath()))
        return true;
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                                QStandardPaths::DownloadLocation, QStandardPaths::MoviesLocation,
                                QStandardPaths::MusicLocation, QStandardPaths::PicturesLocation})
        if (folder == normalizedPath(QStandardPaths::writableLocation(location)))
            return true;
    return false;
}

bool IncompleteFolderMover::removeFolderIfEmpty(const QString& path)
{
    const QString folder = normalizedPath(path);
    if (isKeptFolder(folder) || !QFileInfo(folder).isDir() || QFileInfo(folder).isSymLink())
        return false;
    QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!entries.isEmpty() && entries != QStringList{QStringLiteral(".DS_Store")})
        return false;
    if (!entries.isEmpty())
        dir.remove(QStringLiteral(".DS_Store"));
    return QDir().rmdir(folder);
}

TorrentLineList IncompleteFolderMover::torrentsToRelocate() const
{
    TorrentLineList torrents;
    const QString target = normalizedPath(AppPaths::incompletePath());
    for (const TorrentLinePtr& torrent : m_downloads.objects()) {
        // A halted torrent's data is on a disk that is away, and it may be complete.
        if (torrent->isComplete() || torrent->isHalted() || torrent->downloadState() == TorrentLine::None)
            continue;
        if (normalizedPath(torrent->downloadPath()) == target || (m_session && m_session->isRelocating(*torrent)))
            continue;
        torrents.append(torrent);
    }
    return torrents;
}

void IncompleteFolderMover::settingChanged(const QString& key)
{
    const bool enabledChanged = key == QLatin1String("kUseIncompleteFolder");
    if (!enabledChanged && key != QLatin1String("kIncompleteFolder"))
        return;
    Settings& settings = Settings::instance();
    if (!settings.boolean(QStringLiteral("kUseIncompleteFolder"))) {
        removeFolderIfEmpty(AppPaths::incompletePath());
        return;
    }
    const Change change = enabledChanged ? Change::Enabled : Change::NewFolder;
    PerformLater::schedule(this, [this, change] { offerMove(change); }, 0, QStringLiteral("offerMove"));
}

void IncompleteFolderMover::offerMove(Change change)
{
    if (m_prompting) {
        m_promptAgain = true;
        return;
    }
    const int count = int(torrentsToRelocate().size());
    if (count == 0)
        return;
    const QString countText = count == 1 ? tr("1 incomplete torrent") : tr("%1 incomplete torrents").arg(count);
    const QString folder = AppPaths::abbreviateTilde(AppPaths::incompletePath());
    PZAlert alert;
    if (m_session && m_session->isPathOnUnattachedVolume(AppPaths::incompletePath())) {
        // Nothing is moved into the empty mount point a disk leaves behind.
        alert.message = tr("The external disk \"%1\" is not attached.")
                            .arg(m_session->volumeName(AppPaths::incompletePath()));
        alert.informativeText =
            tr("The incomplete folder (%1) is located on an external disk that is not currently "
               "attached. Please reattach this disk and choose the incomplete folder again to move "
               "your %2 to this new location.")
                .arg(folder, countText);
        alert.buttons = {tr("OK")};
        alert.critical = true;
        return prompt(alert, {});
    }
    if (change == Change::Enabled) {
        alert.message = tr("Move %1 to the incomplete folder?").arg(countText);
        alert.informativeText = tr("You have enabled the use of an incomplete folder (%1). Would you like Ombrelay "
                                   "to move your %2 to this new location?").arg(folder, countText);
    } else {
        alert.message = tr("Move %1 to the new incomplete folder?").arg(countText);
        alert.informativeText = tr("You have chosen a new incomplete folder (%1). Would you like Ombrelay to move "
                                   "your %2 to this new location?").arg(folder, countText);
    }
    alert.buttons = {count == 1 ? tr("Move Torrent") : tr("Move Torrents"), tr("Do Not Move")};
    prompt(alert, [this] { moveTorrents(); });
}

void IncompleteFolderMover::prompt(const PZAlert& alert, std::function<void()> firstButton)
{
    m_prompting = true;
    PZAlert::run(alert, m_window ? m_window() : nullptr,
                 [this, firstButton = std::move(firstButton)](int button) {
                     m_prompting = false;
                     if (button == 0 && firstButton)
                         firstButton();
                     if (std::exchange(m_promptAgain, false))
                         PerformLater::schedule(
                             this, [this] { offerMove(Change::NewFolder); }, 0, QStringLiteral("offerMove"));
                 });
}

void IncompleteFolderMover::moveTorrents()
{
    if (!m_session)
        return;
    // Recomputed now: torrents completed, removed or moving since the question are left alone.
    const TorrentLineList torrents = torrentsToRelocate();
    const QString target = normalizedPath(AppPaths::incompletePath());
    const QString defaultFolder = QDir(AppPaths::downloadPath()).filePath(QStringLiteral("Incomplete"));
    for (const TorrentLinePtr& torrent : torrents) {
        ++m_movesRunning;
        m_session->relocate(*torrent, target, [this, name = torrent->path(), defaultFolder](const QString& error) {
            if (!error.isEmpty())
                qWarning("*** incompleteFolderDidChange: %s: %s", qPrintable(name), qPrintable(error));
            if (--m_movesRunning == 0) {
                if (normalizedPath(defaultFolder) != normalizedPath(AppPaths::incompletePath()))
                    removeFolderIfEmpty(defaultFolder);
                emit movesFinished();
            }
        });
    }
}

}  // namespace ombrelay
