#include "kit/AppPaths.h"
#include "kit/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ombrelay;

namespace {

TEST(AppPathsTest, TemporaryFolderIsPrivateStableAndRemovedAtQuit)
{
    const QString folder = AppPaths::temporaryDirectory();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.endsWith(QLatin1Char('/')));
    EXPECT_EQ(AppPaths::temporaryDirectory(), folder);
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    QFile inside(folder + QStringLiteral("fetched.torrent"));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.write("d4:infodee");
    inside.close();

    AppPaths::removeTemporaryDirectory();
    EXPECT_FALSE(QFileInfo::exists(folder));
    const QString next = AppPaths::temporaryDirectory();
    EXPECT_NE(next, folder);
    EXPECT_TRUE(QFileInfo(next).isDir());
    AppPaths::removeTemporaryDirectory();
}

TEST(AppPathsTest, TildeExpandsAndAbbreviates)
{
    const QString home = QDir::homePath();
    struct Case
    {
        QString path, expanded;
    };
    const Case cases[] = {
        {QStringLiteral("~"), home},
        {QStringLiteral("~/Downloads/"), home + QStringLiteral("/Downloads/")},
        {QStringLiteral("/srv/data"), QStringLiteral("/srv/data")},
        {QStringLiteral("~other/x"), QStringLiteral("~other/x")},
        {QStringLiteral("a/~/b"), QStringLiteral("a/~/b")},
        {QString(), QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AppPaths::expandTilde(c.path), c.expanded) << c.path.toStdString();
    EXPECT_EQ(AppPaths::abbreviateTilde(home + QStringLiteral("/Music")), QStringLiteral("~/Music"));
    EXPECT_EQ(AppPaths::abbreviateTilde(home), QStringLiteral("~"));
    EXPECT_EQ(AppPaths::abbreviateTilde(home + QStringLiteral("other")), home + QStringLiteral("other"));
}

// The support folder is found once per run, and asking for it makes nothing: whoever stores a file there
// makes the folder.
TEST(AppPathsTest, SupportFolderIsFoundOnceAndNotMade)
{
    QTemporaryDir first;
    QTemporaryDir second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(first.path()));
    const QString path = AppPaths::applicationSupportPath();
    EXPECT_EQ(path, first.filePath(QStringLiteral("Ombrelay/")));
    EXPECT_FALSE(QFileInfo::exists(path));

    qputenv("XDG_DATA_HOME", QFile::encodeName(second.path()));
    EXPECT_EQ(AppPaths::applicationSupportPath(), path);
    EXPECT_FALSE(QFileInfo::exists(second.filePath(QStringLiteral("Ombrelay"))));

    // A folder set by a test or the headless driver wins until it is cleared.
    const QString support = second.filePath(QStringLiteral("Ombrelay"));
    AppPaths::setApplicationSupportPath(support);
    EXPECT_EQ(AppPaths::applicationSupportPath(), support + QLatin1Char('/'));
    EXPECT_FALSE(QFileInfo::exists(support));
    AppPaths::setApplicationSupportPath({});
    EXPECT_EQ(AppPaths::applicationSupportPath(), path);
    qunsetenv("XDG_DATA_HOME");
}

TEST(AppPathsTest, DownloadAndIncompleteFoldersFollowTheSettings)
{
    QTemporaryDir dir;
    Settings::useFile(dir.filePath(QStringLiteral("Ombrelay.conf")));
    Settings& s = Settings::instance();
    s.setValue(QStringLiteral("save_directory"), QStringLiteral("~/Downloads/"));
    EXPECT_EQ(AppPaths::downloadPath(), QDir::homePath() + QStringLiteral("/Downloads/"));
    EXPECT_EQ(AppPaths::incompletePath(), QDir::homePath() + QStringLiteral("/Downloads/Incomplete"));
    s.setValue(QStringLiteral("kIncompleteFolder"), QStringLiteral("~/partial"));
    EXPECT_EQ(AppPaths::incompletePath(), QDir::homePath() + QStringLiteral("/partial"));
}

}  // namespace
