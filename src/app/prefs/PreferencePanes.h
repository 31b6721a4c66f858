#pragma once

#include <QString>
#include <functional>

namespace ombrelay {

class Blocklist;
class KoDownloadPreferences;
class KoGeneralPreferences;
class KoNetworkPreferences;
class KoiTunesPreferences;
class PZPreferencesController;

// The preferences window's four panes, in their order, with the commits they owe when the window hides
// or the program quits.
struct PreferencePanes
{
    KoGeneralPreferences* general = nullptr;
    KoNetworkPreferences* network = nullptr;
    KoDownloadPreferences* download = nullptr;
    KoiTunesPreferences* media = nullptr;

    static PreferencePanes addTo(PZPreferencesController& controller, Blocklist& blocklist,
                                 std::function<bool(const QString& path)> detached);
};

}  // namespace ombrelay
