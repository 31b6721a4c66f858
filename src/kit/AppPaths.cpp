#include "kit/AppPaths.h"

#include "kit/Settings.h"
#include "kit/TemporaryFolder.h"

#include <QDir>
#include <QStandardPaths>
#include <memory>

namespace ombrelay {
namespace {

QString& overriddenSupportPath()
{
    static QString path;
    return path;
}

std::unique_ptr<TemporaryFolder>& temporary()
{
    static std::unique_ptr<TemporaryFolder> folder;
    return folder;
}

QString withTrailingSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

}  // namespace

QString AppPaths::applicationSupportPath()
{
    if (!overriddenSupportPath().isEmpty())
        return withTrailingSlash(overriddenSupportPath());
    static const QString path = withTrailingSlash(
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("Ombrelay")));
    return path;
}

void AppPaths::setApplicationSupportPath(const QString& path)
{
    overriddenSupportPath() = path;
}

QString AppPaths::temporaryDirectory()
{
    if (!temporary())
        temporary() = TemporaryFolder::create(QDir::tempPath());
    return temporary() ? withTrailingSlash(temporary()->path()) : QString();
}

void AppPaths::removeTemporaryDirectory()
{
    temporary().reset();  // removes the folder and its contents
}

int AppPaths::removeAbandonedTemporaryDirectories()
{
    return TemporaryFolder::removeAbandoned(QDir::tempPath());
}

QString AppPaths::expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString AppPaths::abbreviateTilde(const QString& path)
{
    const QString home = QDir::homePath();
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

QString AppPaths::downloadPath()
{
    return expandTilde(Settings::instance().string(QStringLiteral("save_directory")));
}

QString AppPaths::incompletePath()
{
    const QString custom = Settings::instance().string(QStringLiteral("kIncompleteFolder"));
    if (!custom.isEmpty())
        return expandTilde(custom);
    return QDir(downloadPath()).filePath(QStringLiteral("Incomplete"));
}

}  // namespace ombrelay
