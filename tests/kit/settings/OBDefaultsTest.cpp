#include "kit/OBDefaults.h"
#include "kit/Settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

class OBDefaultsTest : public ::testing::Test
{
protected:
    void SetUp() override { Settings::useFile(dir.filePath(QStringLiteral("Ombrelay.conf"))); }
    QTemporaryDir dir;
};

TEST_F(OBDefaultsTest, AnyChangeOfOneOfTheSixReloadsAllSix)
{
    Settings& s = Settings::instance();
    s.setBool(QStringLiteral("kHighlightQueryTerm"), true);
    s.setBool(QStringLiteral("kDisplayPercentages"), true);
    s.setBool(QStringLiteral("kUploadLimitEnabled"), false);
    s.setBool(QStringLiteral("kDisableCookies"), true);
    s.setInteger(QStringLiteral("kUploadLimit"), 35);
    s.setInteger(QStringLiteral("kQueryViewMode"), 1);
    EXPECT_TRUE(OBDefaults::kHighlightQueryTerm());
    EXPECT_TRUE(OBDefaults::kDisplayPercentages());
    EXPECT_FALSE(OBDefaults::kUploadLimitEnabled());
    EXPECT_TRUE(OBDefaults::kDisableCookies());
    EXPECT_EQ(OBDefaults::kUploadLimit(), 35);
    EXPECT_EQ(OBDefaults::kQueryViewMode(), 1);
    s.setInteger(QStringLiteral("kUploadLimit"), 0);
    EXPECT_EQ(OBDefaults::kUploadLimit(), 0);

    // Settings can also reach the file without a change notice (another process, an import): a change of
    // another key leaves the cache alone, the next change of a cached key brings all six up to date.
    {
        Settings other(s.filePath());
        other.setBool(QStringLiteral("kDisplayPercentages"), false);
        other.setInteger(QStringLiteral("kUploadLimit"), 99);
    }
    s.sync();  // reread the file
    s.setInteger(QStringLiteral("kBTPort"), 7000);
    EXPECT_TRUE(OBDefaults::kDisplayPercentages());
    EXPECT_EQ(OBDefaults::kUploadLimit(), 0);
    s.setInteger(QStringLiteral("kQueryViewMode"), 0);
    EXPECT_FALSE(OBDefaults::kDisplayPercentages());
    EXPECT_EQ(OBDefaults::kUploadLimit(), 99);
    EXPECT_EQ(OBDefaults::kQueryViewMode(), 0);

    // An explicit reload reads them too.
    {
        Settings other(s.filePath());
        other.setInteger(QStringLiteral("kUploadLimit"), 7);
    }
    s.sync();
    OBDefaults::loadDefaults();
    EXPECT_EQ(OBDefaults::kUploadLimit(), 7);
}

TEST_F(OBDefaultsTest, FollowsAReplacedSettingsObject)
{
    Settings::instance().setInteger(QStringLiteral("kUploadLimit"), 20);
    EXPECT_EQ(OBDefaults::kUploadLimit(), 20);

    QTemporaryDir other;
    Settings::useFile(other.filePath(QStringLiteral("Other.conf")));
    EXPECT_EQ(OBDefaults::kUploadLimit(), 0);
    Settings::instance().setInteger(QStringLiteral("kUploadLimit"), 7);
    EXPECT_EQ(OBDefaults::kUploadLimit(), 7);
}

}  // namespace
