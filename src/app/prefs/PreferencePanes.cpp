#include "app/prefs/PreferencePanes.h"

#include "app/prefs/KoDownloadPreferences.h"
#include "app/prefs/KoGeneralPreferences.h"
#include "app/prefs/KoNetworkPreferences.h"
#include "app/prefs/KoiTunesPreferences.h"
#include "app/prefs/PZPreferencesController.h"

#include <QApplication>
#include <QStyle>

namespace ombrelay {

namespace {

QIcon paneIcon(const char* themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(themeName), QApplication::style()->standardIcon(fallback));
}

}  // namespace

PreferencePanes PreferencePanes::addTo(PZPreferencesController& controller, Blocklist& blocklist,
                                       std::function<bool(const QString&)> detached)
{
    PreferencePanes panes;
    panes.general = new KoGeneralPreferences;
    panes.network = new KoNetworkPreferences(blocklist);
    panes.download = new KoDownloadPreferences(std::move(detached));
    panes.media = new KoiTunesPreferences;
    controller.addPane(QStringLiteral("general"), QObject::tr("General"),
                       paneIcon("preferences-system", QStyle::SP_ComputerIcon), panes.general, true);
    controller.addPane(QStringLiteral("network"), QObject::tr("Network"),
                       paneIcon("network-wired", QStyle::SP_DriveNetIcon), panes.network);
    controller.addPane(QStringLiteral("download"), QObject::tr("Downloads"),
                       paneIcon("folder-download", QStyle::SP_DirOpenIcon), panes.download);
    controller.addPane(QStringLiteral("media"), QObject::tr("Music Library"),
                       paneIcon("folder-music", QStyle::SP_MediaVolume), panes.media);
    QObject::connect(&controller, &PZPreferencesController::commitEditing, panes.network,
                     &KoNetworkPreferences::commitEditing);
    QObject::connect(&controller, &PZPreferencesController::commitEditing, panes.download,
                     &KoDownloadPreferences::commitEditing);
    return panes;
}

}  // namespace ombrelay
