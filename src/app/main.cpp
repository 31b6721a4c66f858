#include "app/KoApplicationController.h"
#include "app/SingleInstance.h"
#include "kit/DefaultSettings.h"
#include "kit/OBDefaults.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"

#include <QApplication>
#include <QDir>

using namespace ombrelay;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ombrelay"));
    QApplication::setApplicationVersion(QStringLiteral(OMBRELAY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("ombrelay"));
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments =
        SingleInstance::normalizedArguments(QApplication::arguments().mid(1), QDir::currentPath());
    SingleInstance instance;
    if (instance.handOver(arguments, 2000))
        return 0;  // the running instance took them
    instance.listen();

    registerDefaultSettings(Settings::instance());
    OBDefaults::loadDefaults();

    KoApplicationController controller(VolumeMonitor::instance());
    controller.listenForLaterLaunches(instance);
    controller.launch(arguments);
    return app.exec();
}
