#pragma once

#include <QList>
#include <QString>

class QDBusConnection;

namespace ombrelay {

// The desktop's services for downloaded files: opening with the default or a chosen application, the
// applications that declare the file's type, revealing in the file manager. Nothing here runs the
// file itself.
class DesktopFiles
{
public:
    struct Application
    {
        QString desktopFile;  // full path of the desktop entry
        QString name;
        QString iconName;
    };

    // Programs, scripts and desktop entries: opening them would run their content.
    static bool isExecutableContent(const QString& path);
    // The applications whose desktop entries list the file's type, in the order the data folders give.
    static QList<Application> applicationsForPath(const QString& path);
    static bool openPath(const QString& path);
    // Starts the application's command with the path as its one argument (never through a shell).
    static bool openPathWithApplication(const QString& path, const QString& desktopFile);
    // The FileManager1 call on the session bus; the containing folder when no file manager answers, at
    // once when there is no bus.
    static void reveal(const QString& path);
    static void revealOn(const QDBusConnection& bus, const QString& path);
};

}  // namespace ombrelay
