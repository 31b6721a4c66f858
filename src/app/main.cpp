#include "app/shell/KoApplication.h"
#include "app/shell/KoApplicationController.h"
#include "app/shell/SingleInstance.h"
#include "app/web/WebProfile.h"
#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/OBDefaults.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QThreadPool>

using namespace ombrelay;

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // the web panes need it before the application
    KoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ombrelay"));
    QApplication::setApplicationVersion(QStringLiteral(OMBRELAY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("ombrelay"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ombrelay")));
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments =
        SingleInstance::normalizedArguments(QApplication::arguments().mid(1), QDir::currentPath());
    SingleInstance instance;
    if (instance.handOver(arguments, 2000))
        return 0;  // the running instance took them
    if (instance.listen())
        QThreadPool::globalInstance()->start([] { AppPaths::removeAbandonedTemporaryDirectories(); });

    registerDefaultSettings(Settings::instance());
    OBDefaults::loadDefaults();

    if (qEnvironmentVariableIntValue("OMBRELAY_NO_PORT_MAPPING") == 1) {
        // Tests and loopback-only runs: the gateway is not asked for a port mapping.
        BTCore::Parts parts = BTCore::defaultParts();
        parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
        BTCore::useParts(std::move(parts));
    }

    int code = 0;
    {
        KoApplicationController controller(VolumeMonitor::instance());
        controller.listenForLaterLaunches(instance);
        controller.launch(arguments);
        code = app.exec();
    }
    WebProfile::release();  // the pages went with the window
    return code;
}
