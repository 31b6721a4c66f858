#pragma once

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QRect>
#include <QSet>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace ombrelay::test {

// Where a gallery test saves `fileName`: the build folder, or the folder OMBRELAY_PICTURES_DIR names. The
// whole-program runs have a folder of their own, so no test reads a picture that a run alongside rewrites.
inline QString picturePath(const QString& fileName)
{
    const QString folder = qEnvironmentVariable("OMBRELAY_PICTURES_DIR", QStringLiteral(OMBRELAY_BINARY_DIR));
    QDir().mkpath(folder);
    return QDir(folder).filePath(fileName);
}

// The file named by `variable`, else `fileName` in the pictures folder.
inline QString picturePath(const char* variable, const QString& fileName)
{
    const QString chosen = qEnvironmentVariable(variable);
    return chosen.isEmpty() ? picturePath(fileName) : chosen;
}

// The image as PNG bytes, as a web server would send an icon.
inline QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// True when every channel of `a` is within `tolerance` of `b`'s.
inline bool nearColor(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// The darkest and the brightest grey levels within `rect` of `image`.
inline std::pair<int, int> greyRange(const QImage& image, const QRect& rect)
{
    int darkest = 255;
    int brightest = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const int grey = qGray(image.pixel(x, y));
            darkest = std::min(darkest, grey);
            brightest = std::max(brightest, grey);
        }
    return {darkest, brightest};
}

// The darkest grey level within `rect` of `image` (its ink, on a light background); 255 when there is none.
inline int darkestGrey(const QImage& image, const QRect& rect)
{
    return greyRange(image, rect).first;
}

// How many colours a picture holds, counted up to `cap`: a blank or failed capture holds one or two.
inline int distinctColours(const QImage& image, int cap = 256)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height() && seen.size() < cap; ++y)
        for (int x = 0; x < image.width() && seen.size() < cap; ++x)
            seen.insert(image.pixel(x, y));
    return int(seen.size());
}

// How many pixels of `rect` differ between two pictures of the same size.
inline int differingPixels(const QImage& a, const QImage& b, const QRect& rect)
{
    int differing = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return differing;
}

}  // namespace ombrelay::test
