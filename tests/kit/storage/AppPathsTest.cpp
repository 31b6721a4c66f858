#include "kit/AppPaths.h"
#include "kit/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
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

// What is wrong with the support folder's lookup, or nothing; meant as the process's first lookup.
QString supportFolderFaults()
{
    QTemporaryDir first;
    QTemporaryDir second;
    if (!first.isValid() || !second.isValid())
        return QStringLiteral("no temporary folders");
    QStringList faults;
    const auto check = [&](bool ok, const char* fault) {
        if (!ok)
            faults.append(QString::fromUtf8(fault));
    };
    qputenv("XDG_DATA_HOME", QFile::encodeName(first.path()));
    const QString path = AppPaths::applicationSupportPath();
    check(path == first.filePath(QStringLiteral("Ombrelay/")), "not in the data home");
    check(!QFileInfo::exists(path), "made by the lookup");

    qputenv("XDG_DATA_HOME", QFile::encodeName(second.path()));
    check(AppPaths::applicationSupportPath() == path, "looked up again");
    check(!QFileInfo::exists(second.filePath(QStringLiteral("Ombrelay"))), "made by the second lookup");

    // A folder set by a test or the headless driver wins until it is cleared.
    const QString support = second.filePath(QStringLiteral("Ombrelay"));
    AppPaths::setApplicationSupportPath(support);
    check(AppPaths::applicationSupportPath() == support + QLatin1Char('/'), "the set folder is not used");
    check(!QFileInfo::exists(support), "the set folder was made");
    AppPaths::setApplicationSupportPath({});
    check(AppPaths::applicationSupportPath() == path, "the found folder is not back");
    return faults.join(QStringLiteral(", "));
}

// The support folder is found once per run, and asking for it makes nothing: whoever stores a file there
// makes the folder. A process of its own makes this the first lookup, whatever ran before in this one.
TEST(AppPathsTest, SupportFolderIsFoundOnceAndNotMade)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const QString faults = supportFolderFaults();
            fprintf(stderr, "%s\n", faults.isEmpty() ? "sound" : qPrintable(faults));
            std::_Exit(faults.isEmpty() ? 0 : 1);  // no exit handlers: the child's leftovers are not leaks
        },
        ::testing::ExitedWithCode(0), "sound");
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
