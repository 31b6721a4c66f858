#include "uikit/PZImage.h"

#include "kit/AppPaths.h"
#include "uikit/PZArtwork.h"

#include <QHash>

namespace ombrelay {

namespace {

QHash<QString, QPixmap>& cache()
{
    static QHash<QString, QPixmap> images;
    return images;
}

QHash<QString, PZImage::Drawing>& drawings()
{
    static QHash<QString, PZImage::Drawing> registered;
    return registered;
}

QPixmap cached(const QString& key, const std::function<QImage()>& load)
{
    if (key.isEmpty())
        return {};
    const auto found = cache().constFind(key);
    if (found != cache().constEnd())
        return *found;
    const QImage image = load();
    if (image.isNull())
        return {};
    const QPixmap pixmap = QPixmap::fromImage(image);
    cache().insert(key, pixmap);
    return pixmap;
}

QImage loadNamed(const QString& name)
{
    QImage image(QStringLiteral(":/images/%1.png").arg(name));
    if (!image.isNull())
        return image;
    const auto drawing = drawings().constFind(name);
    if (drawing != drawings().constEnd())
        return (*drawing)();
    return PZArtwork::draw(name);
}

}  // namespace

QPixmap PZImage::imageNamed(const QString& name)
{
    return cached(name, [&] { return loadNamed(name); });
}

QPixmap PZImage::flippedImageNamed(const QString& name)
{
    return imageNamed(name);
}

QPixmap PZImage::imageAtPath(const QString& path)
{
    return cached(path, [&] { return QImage(AppPaths::expandTilde(path)); });
}

QPixmap PZImage::flippedImageAtPath(const QString& path)
{
    return imageAtPath(path);
}

void PZImage::registerDrawing(const QString& name, Drawing drawing)
{
    drawings().insert(name, std::move(drawing));
    cache().remove(name);
}

}  // namespace ombrelay
