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
    // Asked once and kept; "web browser" when no handler is named.
    static QString name();
    // The handler named in the first of these mimeapps.list files that names one, without ".desktop".
    static QString nameFromFiles(const QStringList& mimeappsFiles);
    // Opens an http(s) address through the desktop; other schemes never leave the program.
    static bool open(const QUrl& address);
};

}  // namespace ombrelay
