#pragma once

namespace ombrelay {

class Settings;

// The settings work of every launch: the once-only clearing of the lists' stored sort orders and the two
// registered sort orders, and the download folder made unless it lies on a detached disk.
class LaunchSettings
{
public:
    static void repairSortDescriptors(Settings& settings);
    // True when the folder was made.
    static bool makeDownloadFolder(bool onDetachedDisk);
};

}  // namespace ombrelay
