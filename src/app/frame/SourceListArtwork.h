#pragma once

#include <QImage>
#include <QString>

namespace ombrelay {

// Our artwork for the named images of the sidebar (source-list icons, selection bands, bubbles, the
// close button, the welcome picture and the status strip), registered with PZImage.
class SourceListArtwork
{
public:
    static void registerImages();
    // Null for a name this artwork does not draw.
    static QImage draw(const QString& name);
};

}  // namespace ombrelay
