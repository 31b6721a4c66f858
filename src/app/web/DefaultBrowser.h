#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace ombrelay {

// The desktop's web browser: its name from the mimeapps.list handler of "http:" addresses, and opening
// addresses in it.
class DefaultBrowser
{
public:
    enum class Placement { InFront, Behind };

    // Asked once and kept; "web browser" when no handler is named.
    static QString name();
    // The handler named in the first of these mimeapps.list files that names one, without ".desktop".
    static QString nameFromFiles(const QStringList& mimeappsFiles);
    // Opens an http(s) address through the desktop; other schemes never leave the program. Behind, the
    // desktop's opener runs as a launch no user action asked for (X11 startup time 0, no activation
    // token), so that the browser's window does not take the focus.
    static bool open(const QUrl& address, Placement placement = Placement::InFront);
};

}  // namespace ombrelay
