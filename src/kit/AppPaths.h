#pragma once

#include <QString>

namespace ombrelay {

// Where Ombrelay keeps its files.
class AppPaths
{
public:
    // "~/.local/share/Ombrelay/" (XDG data location); every stored file keeps its name inside it. Found
    // on the first call and kept for the run; nothing is created: each store makes the folders it writes.
    static QString applicationSupportPath();
    static void setApplicationSupportPath(const QString& path);  // tests and the headless driver

    // A private folder (mode 0700) created on first use and held while the process runs; removed by
    // removeTemporaryDirectory() at quit.
    static QString temporaryDirectory();
    static void removeTemporaryDirectory();
    // Removes the folders that earlier runs of this user left (a crash keeps its folder); for the one
    // running instance, at launch. Blocks on the disk: not for the main thread. Answers how many went.
    static int removeAbandonedTemporaryDirectories();

    static QString expandTilde(const QString& path);
    static QString abbreviateTilde(const QString& path);

    // The download folder ("save_directory", tilde expanded) and the incomplete folder ("kIncompleteFolder"
    // when set, else "Incomplete" inside the download folder).
    static QString downloadPath();
    static QString incompletePath();
};

}  // namespace ombrelay
