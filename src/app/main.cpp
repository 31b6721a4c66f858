#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"

#include <QCoreApplication>
#include <cstdio>

using namespace ombrelay;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ombrelay"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBRELAY_VERSION));

    registerDefaultSettings(Settings::instance());
    Settings::instance().sync();
    std::printf("Ombrelay %s (v%s)\n", OMBRELAY_VERSION, OMBRELAY_BUILD_VERSION);
    std::printf("Settings: %s\n", qPrintable(Settings::instance().filePath()));
    std::printf("Data:     %s\n", qPrintable(AppPaths::applicationSupportPath()));
    std::printf("Downloads: %s\n", qPrintable(AppPaths::downloadPath()));
    return 0;
}
