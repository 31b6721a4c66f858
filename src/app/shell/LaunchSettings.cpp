#include "app/shell/LaunchSettings.h"

#include "kit/AppPaths.h"
#include "kit/Settings.h"
#include "uikit/PZSortDescriptorTransformer.h"

#include <QDir>

namespace ombrelay {

void LaunchSettings::repairSortDescriptors(Settings& settings)
{
    if (!settings.boolean(QStringLiteral("kHasRepairedSortDescriptors"))) {
        settings.remove(QStringLiteral("RSSPaneSortDescriptors"));
        settings.remove(QStringLiteral("QueryPaneSortDescriptors"));
        settings.remove(QStringLiteral("DownloadsPaneSortDescriptors"));
        settings.setBool(QStringLiteral("kHasRepairedSortDescriptors"), true);
    }
    settings.registerDefault(QStringLiteral("RSSPaneSortDescriptors"),
                             PZSortDescriptorTransformer::reverseTransformedValue({{QStringLiteral("date"), false}}));
    settings.registerDefault(
        QStringLiteral("QueryPaneSortDescriptors"),
        PZSortDescriptorTransformer::reverseTransformedValue({{QStringLiteral("swarmSize"), false}}));
}

bool LaunchSettings::makeDownloadFolder(bool onDetachedDisk)
{
    const QString folder = AppPaths::downloadPath();
    if (folder.isEmpty() || onDetachedDisk || QFileInfo::exists(folder))
        return false;
    return QDir().mkpath(folder);
}

}  // namespace ombrelay
