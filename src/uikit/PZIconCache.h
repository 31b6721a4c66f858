#pragma once

#include <QHash>
#include <QPixmap>
#include <QString>

namespace ombrelay {

// File and file-type icons at one edge size (16, 32 or 128 pixels), from the desktop's icon theme by
// MIME type, or drawn by the kit when the theme has none. Kept for the life of the process.
class PZIconCache
{
public:
    static PZIconCache& instance16();
    static PZIconCache& instance32();
    static PZIconCache& instance128();

    explicit PZIconCache(int width);

    int width() const { return m_width; }
    // The icon of an existing file or folder ("~" expanded); null for an empty path or a missing file.
    QPixmap iconForFile(const QString& path);
    // The icon of a file type by extension (without the dot; empty for files without one).
    QPixmap iconForExtension(const QString& extension);
    // The file's icon, else the icon of the path's extension.
    QPixmap iconForFilePath(const QString& path);
    QPixmap folderIcon();

private:
    QPixmap themedIcon(const QString& iconName, const QString& genericName, bool folder) const;

    QHash<QString, QPixmap> m_icons;
    QHash<QString, QPixmap> m_typeIcons;
    int m_width;
};

}  // namespace ombrelay
