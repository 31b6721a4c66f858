#include "kit/DefaultSettings.h"
#include "kit/PropertyList.h"
#include "kit/Settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

struct Registered
{
    const char* key;
    const char* value;
};

// The keys registered with a literal value, as the preference panes register them.
const Registered kRegistered[] = {
    {"kVistrelEnabled", "1"},          {"kDeleteOriginalTorrent", "1"}, {"kKoBounceDockIcon", "1"},
    {"kKoWarnDownloads", "1"},         {"kKoWarnQuit", "1"},            {"kKoNetBandwidth", "1"},
    {"kKoNetBandwidthDock", "1"},      {"kDisableCookies", "0"},        {"kKoAddSong", "1"},
    {"kKoAddVideo", "0"},              {"kKoAddSongToPlaylist", "1"},   {"kKoPlaySong", "3"},
    {"kKoPlaylistName", "Ombrelay"},   {"kBTPort", "6881"},             {"kRandomPort", "0"},
    {"kDownloadLimitEnabled", "0"},    {"kDownloadLimit", "100"},       {"kUploadLimitEnabled", "1"},
    {"kUploadLimit", "20"},            {"kDisableLimits", "0"},         {"kDisableLimitsIdle", "0"},
    {"kDisableIdleTime", "20"},        {"save_directory", "~/Downloads/"}, {"kAutodownload", "0"},
    {"kKoAutodownloadLocation", "~/Downloads/"}, {"kConfirmLocationFinder", "0"},
    {"kConfirmLocationInternal", "0"}, {"kConfirmLocationAuto", "0"},   {"kDownloadQueueEnabled", "1"},
    {"kDownloadQueueLimit", "3"},      {"kSeedingEnabled", "1"},        {"kStopSeedingAtRatio", "0"},
    {"kStopSeedingRatio", "1"},        {"kSplitHeight", "200"},         {"kClusterResultsA", "1"},
    {"kHighlightQueryTerm", "0"},
};

// Keys that nothing registers: they stay absent so their readers see NO, 0 or empty.
const char* const kUnregistered[] = {
    "kUseIncompleteFolder", "kIncompleteFolder", "kQueryViewMode", "kDisplayPercentages", "kBlocklistEnabled",
    "kBlocklistLastUpdate", "kBlocklistEntryCount", "kAuthorizedSites", "kNodeID", "kAmendedDefaults",
    "DownloadsPaneSortDescriptors", "kHasRepairedSortDescriptors",
};

class DefaultSettingsTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    Settings settings{dir.filePath(QStringLiteral("Ombrelay.conf"))};
};

TEST_F(DefaultSettingsTest, RegistersEveryKeyWithItsValue)
{
    registerDefaultSettings(settings);
    for (const Registered& r : kRegistered)
        EXPECT_EQ(settings.string(QLatin1String(r.key)), QLatin1String(r.value)) << r.key;
    for (const char* key : kUnregistered)
        EXPECT_FALSE(settings.hasDefault(QLatin1String(key))) << key;
    EXPECT_TRUE(settings.string(QStringLiteral("kDefaultSite")).startsWith(QLatin1String("http")));
    const QString available = settings.string(QStringLiteral("kVistrelAvailable"));
    EXPECT_TRUE(available == QLatin1String("1") || available == QLatin1String("0")) << available.toStdString();
    // The limit window reads back as 11 pm to 8 am; the source list is an empty binary array.
    EXPECT_EQ(settings.timeOfDay(QStringLiteral("kDisableStartTime")), QTime(23, 0));
    EXPECT_EQ(settings.timeOfDay(QStringLiteral("kDisableEndTime")), QTime(8, 0));
    const QVariant list = PropertyList::fromBinary(settings.bytes(QStringLiteral("SourceListData")));
    ASSERT_EQ(list.typeId(), QMetaType::QVariantList);
    EXPECT_TRUE(list.toList().isEmpty());
}

TEST_F(DefaultSettingsTest, KeepsTheUsersValuesAndDropsTheSuggestionHistory)
{
    settings.setValue(QStringLiteral("kBTPort"), QStringLiteral("51413"));
    settings.setTimeOfDay(QStringLiteral("kDisableStartTime"), QTime(1, 30));
    settings.setValue(QStringLiteral("kVistrelHistory"), QStringList{QStringLiteral("ubuntu iso")});
    settings.setValue(QStringLiteral("kVistrelHistoryA"), QStringList{QStringLiteral("debian")});

    registerDefaultSettings(settings);
    registerDefaultSettings(settings);  // a second launch

    EXPECT_EQ(settings.string(QStringLiteral("kBTPort")), QStringLiteral("51413"));
    EXPECT_EQ(settings.timeOfDay(QStringLiteral("kDisableStartTime")), QTime(1, 30));
    EXPECT_EQ(settings.timeOfDay(QStringLiteral("kDisableEndTime")), QTime(8, 0));
    EXPECT_FALSE(settings.hasDefault(QStringLiteral("kVistrelHistory")));
    EXPECT_FALSE(settings.hasDefault(QStringLiteral("kVistrelHistoryA")));
}

}  // namespace
