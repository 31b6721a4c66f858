#pragma once

#include <QString>

namespace ombrelay {

// The program's version and identity, fixed when it is built.
class PZVersionChecker
{
public:
    static QString applicationMajorVersion();  // "2.1.6": the release
    static QString applicationBuildVersion();  // "2168": the build number (user agents, peer id)
    static QString applicationIdentifier();    // reverse-domain id, also the desktop entry's name
    static QString applicationName();
};

}  // namespace ombrelay
