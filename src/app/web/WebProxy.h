#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

namespace ombrelay {

// Pages go through the same proxies as the loader: http_proxy, https_proxy and no_proxy (either case)
// become Chromium's proxy switches, set before the web engine starts.
class WebProxy
{
public:
    // The switches for these variables; empty when no proxy is set.
    static QByteArray chromiumFlags(const QProcessEnvironment& environment);
    // Adds the switches to QTWEBENGINE_CHROMIUM_FLAGS once.
    static void apply();
};

}  // namespace ombrelay
