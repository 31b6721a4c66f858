#include "kit/DefaultSettings.h"

#include "kit/PropertyList.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"

#include <QTime>

namespace ombrelay {
namespace {

struct Default
{
    const char* key;
    const char* value;
};

// General, iTunes and network panes.
constexpr Default kPreferenceDefaults[] = {
    {"kVistrelEnabled", "1"},
    {"kDeleteOriginalTorrent", "1"},
    {"kKoBounceDockIcon", "1"},
    {"kKoWarnDownloads", "1"},
    {"kKoWarnQuit", "1"},
    {"kKoNetBandwidth", "1"},
    {"kKoNetBandwidthDock", "1"},
    {"kDefaultSite", service::kDefaultSiteURL},
    {"kDisableCookies", "0"},
    {"kKoAddSong", "1"},
    {"kKoAddVideo", "0"},
    {"kKoAddSongToPlaylist", "1"},
    {"kKoPlaySong", "3"},
    {"kKoPlaylistName", "Ombrelay"},
    {"kBTPort", "6881"},
    {"kRandomPort", "0"},
    {"kDownloadLimitEnabled", "0"},
    {"kDownloadLimit", "100"},
    {"kUploadLimitEnabled", "1"},
    {"kUploadLimit", "20"},
    {"kDisableLimits", "0"},
    {"kDisableLimitsIdle", "0"},
    {"kDisableIdleTime", "20"},
    {"kClusterResultsA", "1"},
    {"kHighlightQueryTerm", "0"},
};

// Download pane, in its registration order.
constexpr Default kDownloadDefaults[] = {
    {"save_directory", "~/Downloads/"},
    {"kAutodownload", "0"},
    {"kKoAutodownloadLocation", "~/Downloads/"},
    {"kConfirmLocationFinder", "0"},
    {"kConfirmLocationInternal", "0"},
    {"kConfirmLocationAuto", "0"},
    {"kDownloadQueueEnabled", "1"},
    {"kDownloadQueueLimit", "3"},
    {"kSeedingEnabled", "1"},
    {"kStopSeedingAtRatio", "0"},
    {"kStopSeedingRatio", "1"},
};

// The empty array as a binary property list ("bplist00", an empty array marker, and the trailer).
QByteArray emptyArrayPropertyList()
{
    static const unsigned char bytes[] = {
        'b', 'p', 'l', 'i', 's', 't', '0', '0', 0xA0, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// The search-site defaults: one user site, and every built-in site enabled.
void registerSearchSiteDefaults(Settings& settings)
{
    settings.registerDefault(QStringLiteral("kSearchSites"), PropertyList::toBinary(defaultSearchSites()));
    settings.registerDefault(QStringLiteral("kEnabledSystemModules"),
                             QStringList{QStringLiteral("google"), QStringLiteral("bing"),
                                         QLatin1String(service::kIndexSiteAIdentifier),
                                         QLatin1String(service::kIndexSiteBIdentifier),
                                         QLatin1String(service::kIndexSiteCIdentifier),
                                         QLatin1String(service::kIndexSiteDIdentifier)});
}

}  // namespace

QVariantList defaultSearchSites()
{
    // Stored without "type", as sites were before that key existed.
    const QVariantMap site{{QStringLiteral("name"), QStringLiteral("Yahoo! Torrent Search")},
                           {QStringLiteral("isEnabled"), QStringLiteral("1")},
                           {QStringLiteral("url"), QStringLiteral("http://") + QLatin1String(service::kDefaultUserSiteHost)
                                                       + QStringLiteral("/search?p=%@+torrent")}};
    return {site};
}

void registerDefaultSettings(Settings& settings)
{
    // Suggestions are available on every launch; "kVistrelEnabled" is the user's switch.
    settings.setValue(QStringLiteral("kVistrelAvailable"), QStringLiteral("1"));
    for (const auto& d : kPreferenceDefaults)
        settings.registerDefault(QLatin1String(d.key), QLatin1String(d.value));
    // The daily window in which limits are lifted: times of day in UTC.
    if (!settings.hasDefault(QStringLiteral("kDisableStartTime")))
        settings.setTimeOfDay(QStringLiteral("kDisableStartTime"), QTime(23, 0));
    if (!settings.hasDefault(QStringLiteral("kDisableEndTime")))
        settings.setTimeOfDay(QStringLiteral("kDisableEndTime"), QTime(8, 0));
    for (const auto& d : kDownloadDefaults)
        settings.registerDefault(QLatin1String(d.key), QLatin1String(d.value));
    settings.registerDefault(QStringLiteral("kSplitHeight"), QStringLiteral("200"));
    settings.registerDefault(QStringLiteral("SourceListData"), emptyArrayPropertyList());
    registerSearchSiteDefaults(settings);
    // Suggestion history is not kept across launches.
    settings.remove(QStringLiteral("kVistrelHistory"));
    settings.remove(QStringLiteral("kVistrelHistoryA"));
}

}  // namespace ombrelay
