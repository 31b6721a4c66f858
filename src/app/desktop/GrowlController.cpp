#include "app/desktop/GrowlController.h"

#include "kit/AppPaths.h"
#include "platform/DesktopNotifications.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

namespace ombrelay {
namespace {

QPointer<DesktopNotifications>& installed()
{
    static QPointer<DesktopNotifications> notices;
    return notices;
}

}  // namespace

const QString GrowlController::kDidOpenTorrent = QStringLiteral("Did open torrent");
const QString GrowlController::kDidCompleteDownload = QStringLiteral("Did complete download");
const QString GrowlController::kDidExportToiTunes = QStringLiteral("Did export to iTunes");

void GrowlController::install(DesktopNotifications* notices)
{
    installed() = notices;
}

void GrowlController::growlWithName(const QString& name, const QString& title, const QString& description)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    if (QThread::currentThread() != application->thread()) {
        QMetaObject::invokeMethod(application, [name, title, description] { growlWithName(name, title, description); },
                                  Qt::QueuedConnection);
        return;
    }
    if (DesktopNotifications* notices = installed()) {
        const QString category = name == kDidOpenTorrent ? QStringLiteral("transfer") : QStringLiteral("transfer.complete");
        notices->notify(title, description, category);
    }
}

void GrowlController::growlCompletedDownloadWithPath(const QString& path)
{
    growlWithName(kDidCompleteDownload, QFileInfo(path).fileName(),
                  QStringLiteral("Downloaded to: %1").arg(AppPaths::abbreviateTilde(path)));
}

void GrowlController::growlCompletedExportWithTitle(const QString& title, const QString& description)
{
    growlWithName(kDidExportToiTunes, title, description);
}

}  // namespace ombrelay
