#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <functional>

namespace ombrelay {

// Named and file images, cached for the life of the process under the name or the path (one map for
// all four operations). A named image comes from the resources (":/images/<name>.png"), else from a
// drawing registered under the name, else from the kit's own artwork. Painting in Qt runs top-down
// already, so the flipped forms answer the same images as the plain ones.
class PZImage
{
public:
    using Drawing = std::function<QImage()>;

    static QPixmap imageNamed(const QString& name);
    static QPixmap flippedImageNamed(const QString& name);
    static QPixmap imageAtPath(const QString& path);
    static QPixmap flippedImageAtPath(const QString& path);

    // Artwork drawn by code for a name that has no resource; a later registration replaces an
    // earlier one and the image it drew.
    static void registerDrawing(const QString& name, Drawing drawing);
};

}  // namespace ombrelay
