#include "kit/Settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("Ombrelay.conf")); }
};

TEST_F(SettingsTest, RegisteredAndUserValuesPersistToTheFile)
{
    {
        Settings settings(path());
        settings.registerDefault(QStringLiteral("kKoPlaylistName"), QStringLiteral("Ombrelay"));
        settings.setBool(QStringLiteral("kSeedingEnabled"), false);
        settings.setTimeOfDay(QStringLiteral("kDisableStartTime"), QTime(23, 0));
    }
    Settings reopened(path());
    EXPECT_EQ(reopened.string(QStringLiteral("kKoPlaylistName")), QStringLiteral("Ombrelay"));
    EXPECT_TRUE(reopened.hasDefault(QStringLiteral("kSeedingEnabled")));
    EXPECT_FALSE(reopened.boolean(QStringLiteral("kSeedingEnabled")));
    EXPECT_EQ(reopened.timeOfDay(QStringLiteral("kDisableStartTime")), QTime(23, 0));
    // A registration after the reopen still respects what the file holds.
    EXPECT_FALSE(reopened.registerDefault(QStringLiteral("kSeedingEnabled"), QStringLiteral("1")));
    EXPECT_FALSE(reopened.boolean(QStringLiteral("kSeedingEnabled")));
}

TEST_F(SettingsTest, ReadersInterpretStoredStrings)
{
    struct Case
    {
        const char* stored;
        bool boolean;
        qint64 integer;
    };
    const Case cases[] = {
        {"1", true, 1},     {"0", false, 0},   {"YES", true, 1},      {"true", true, 1},
        {"no", false, 0},   {"", false, 0},    {"20", true, 20},      {"-5", true, -5},
        {"2.7", false, 2},  {"abc", false, 0}, {"9007199254740993", true, 9007199254740993LL},
    };
    Settings settings(path());
    for (const Case& c : cases) {
        settings.setValue(QStringLiteral("k"), QString::fromLatin1(c.stored));
        EXPECT_EQ(settings.boolean(QStringLiteral("k")), c.boolean) << c.stored;
        EXPECT_EQ(settings.integer(QStringLiteral("k")), c.integer) << c.stored;
    }
}

// Whoever holds the process-wide settings keeps a sound object when another file is chosen: it reads
// that file and hears of the keys that read differently there.
TEST_F(SettingsTest, AnotherFileKeepsTheObjectAndTellsWhatReadsDifferently)
{
    Settings::useFile(path());
    Settings& held = Settings::instance();
    held.setInteger(QStringLiteral("kBTPort"), 7000);
    held.setBool(QStringLiteral("kSeedingEnabled"), true);
    QTemporaryDir other;
    const QString otherPath = other.filePath(QStringLiteral("Other.conf"));
    {
        Settings file(otherPath);
        file.setBool(QStringLiteral("kSeedingEnabled"), true);
        file.setInteger(QStringLiteral("kUploadLimit"), 20);
    }
    QSignalSpy spy(&held, &Settings::changed);
    Settings::useFile(otherPath);
    EXPECT_EQ(&Settings::instance(), &held);
    EXPECT_EQ(held.filePath(), otherPath);
    EXPECT_EQ(held.integer(QStringLiteral("kUploadLimit")), 20);
    EXPECT_FALSE(held.hasDefault(QStringLiteral("kBTPort")));
    QStringList told;
    for (const auto& args : spy)
        told.append(args.at(0).toString());
    told.sort();
    EXPECT_EQ(told, QStringList({QStringLiteral("kBTPort"), QStringLiteral("kUploadLimit")}));
}

TEST_F(SettingsTest, ChangedIsSignalledOnlyForRealChanges)
{
    Settings settings(path());
    QSignalSpy spy(&settings, &Settings::changed);
    settings.setInteger(QStringLiteral("kUploadLimit"), 20);
    settings.setInteger(QStringLiteral("kUploadLimit"), 20);
    settings.setInteger(QStringLiteral("kUploadLimit"), 0);
    settings.remove(QStringLiteral("kUploadLimit"));
    settings.remove(QStringLiteral("kUploadLimit"));
    settings.registerDefault(QStringLiteral("kUploadLimit"), QStringLiteral("1"));  // absent: a change
    settings.registerDefault(QStringLiteral("kUploadLimit"), QStringLiteral("0"));
    ASSERT_EQ(spy.count(), 4);
    for (const auto& args : spy)
        EXPECT_EQ(args.at(0).toString(), QStringLiteral("kUploadLimit"));
}

}  // namespace
