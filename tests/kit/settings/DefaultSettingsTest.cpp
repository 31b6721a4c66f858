#include "kit/DefaultSettings.h"
#include "kit/PropertyList.h"
#include "kit/Settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

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

// The values whose stored form is more than a literal: a time of day and a binary property list.
TEST_F(DefaultSettingsTest, RegistersTypedDefaultsInTheirStoredForm)
{
    registerDefaultSettings(settings);
    EXPECT_EQ(settings.integer(QStringLiteral("kBTPort")), 6881);
    for (const char* key : kUnregistered)
        EXPECT_FALSE(settings.hasDefault(QLatin1String(key))) << key;
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
