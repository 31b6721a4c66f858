#pragma once

#include <QString>

namespace ombrelay {

class DesktopNotifications;

// The application's notices, posted through the desktop's notification server. Class operations only;
// callable from any thread (notices from the media queue go out on the main thread).
class GrowlController
{
public:
    static const QString kDidOpenTorrent;
    static const QString kDidCompleteDownload;
    static const QString kDidExportToiTunes;

    // Where notices go; null drops them. Main thread.
    static void install(DesktopNotifications* notices);

    static void growlWithName(const QString& name, const QString& title, const QString& description);
    static void growlCompletedDownloadWithPath(const QString& path);
    static void growlCompletedExportWithTitle(const QString& title, const QString& description);
};

}  // namespace ombrelay
