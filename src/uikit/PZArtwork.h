#pragma once

#include <QColor>
#include <QImage>
#include <QString>

namespace ombrelay {

// The kit's images drawn by code: the checkboxes ("CheckboxOn", "CheckboxOffActive", "CheckboxMixedX",
// ...; 12 x 13), the filter bar gradients ("BlueGradient24", "GrayGradient24") and the generic file and
// folder icons used when the icon theme has none.
class PZArtwork
{
public:
    // Null for a name the kit does not draw.
    static QImage draw(const QString& name);
    static QImage documentIcon(int edge);
    static QImage folderIcon(int edge);
    // A transparent image to draw one of these on.
    static QImage blank(int width, int height);
    // A vertical gradient from `top` to `bottom`, `width` pixels wide.
    static QImage verticalGradient(int height, const QColor& top, const QColor& bottom, int width = 1);
};

}  // namespace ombrelay
