#include "kit/PZVersionChecker.h"

namespace ombrelay {

QString PZVersionChecker::applicationMajorVersion()
{
    return QStringLiteral(OMBRELAY_VERSION);
}

QString PZVersionChecker::applicationBuildVersion()
{
    return QStringLiteral(OMBRELAY_BUILD_VERSION);
}

QString PZVersionChecker::applicationIdentifier()
{
    return QStringLiteral("org.ombrelay.Ombrelay");
}

QString PZVersionChecker::applicationName()
{
    return QStringLiteral("Ombrelay");
}

}  // namespace ombrelay
