#include "uikit/PZIconCache.h"

#include "kit/AppPaths.h"
#include "uikit/PZArtwork.h"

#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>

namespace ombrelay {

PZIconCache& PZIconCache::instance16()
{
    static PZIconCache cache(16);
    return cache;
}

PZIconCache& PZIconCache::instance32()
{
    static PZIconCache cache(32);
    return cache;
}

PZIconCache& PZIconCache::instance128()
{
    static PZIconCache cache(128);
    return cache;
}

PZIconCache::PZIconCache(int width) : m_width(width) {}

QPixmap PZIconCache::themedIcon(const QString& iconName, const QString& genericName, bool folder) const
{
    QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull() && !genericName.isEmpty())
        icon = QIcon::fromTheme(genericName);
    if (!icon.isNull()) {
        const QPixmap pixmap = icon.pixmap(m_width, m_width);
        if (!pixmap.isNull())
            return pixmap.width() == m_width ? pixmap : pixmap.scaled(m_width, m_width, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return QPixmap::fromImage(folder ? PZArtwork::folderIcon(m_width) : PZArtwork::documentIcon(m_width));
}

QPixmap PZIconCache::iconForFile(const QString& path)
{
    if (path.isEmpty())
        return {};
    const auto found = m_icons.constFind(path);
    if (found != m_icons.constEnd())
        return *found;
    const QFileInfo info(AppPaths::expandTilde(path));
    if (!info.exists())
        return {};
    QPixmap icon;
    if (info.isDir()) {
        icon = folderIcon();
    } else {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
        icon = themedIcon(type.iconName(), type.genericIconName(), false);
    }
    m_icons.insert(path, icon);
    return icon;
}

QPixmap PZIconCache::iconForExtension(const QString& extension)
{
    const auto found = m_typeIcons.constFind(extension);
    if (found != m_typeIcons.constEnd())
        return *found;
    QPixmap icon;
    if (extension.isEmpty()) {
        icon = themedIcon(QStringLiteral("text-x-generic"), {}, false);
    } else {
        const QMimeType type =
            QMimeDatabase().mimeTypeForFile(QStringLiteral("file.") + extension, QMimeDatabase::MatchExtension);
        icon = themedIcon(type.iconName(), type.genericIconName(), false);
    }
    m_typeIcons.insert(extension, icon);
    return icon;
}

QPixmap PZIconCache::iconForFilePath(const QString& path)
{
    const QPixmap icon = iconForFile(path);
    return icon.isNull() ? iconForExtension(QFileInfo(path).suffix()) : icon;
}

QPixmap PZIconCache::folderIcon()
{
    static const QString key = QStringLiteral("/");  // never a file's key: paths are looked up by their own text
    const auto found = m_typeIcons.constFind(key);
    if (found != m_typeIcons.constEnd())
        return *found;
    const QPixmap icon = themedIcon(QStringLiteral("folder"), {}, true);
    m_typeIcons.insert(key, icon);
    return icon;
}

}  // namespace ombrelay
