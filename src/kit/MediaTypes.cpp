#include "kit/MediaTypes.h"

#include <QSet>

namespace ombrelay {
namespace {

const QSet<QString>& extensions(MediaType type)
{
    static const QSet<QString> music = {"mp3", "ogg", "wma", "aiff", "aif", "au", "mod", "wav", "mid", "m4a", "aac"};
    static const QSet<QString> video = {"mp4", "avi", "mov", "mpg", "mpeg", "asf", "rm",
                                        "ram", "divx", "wmv", "mkv", "m4v", "vob", "m2v"};
    static const QSet<QString> image = {"gif", "jpg", "jpe", "jpeg", "png", "tif", "tiff", "bmp"};
    static const QSet<QString> document = {"doc", "pdf", "rtf", "rtfd", "txt", "htm", "html"};
    switch (type) {
    case MediaMusic:
        return music;
    case MediaVideo:
        return video;
    case MediaImage:
        return image;
    default:
        return document;
    }
}

}  // namespace

MediaType KoMediaTypeForExtension(const QString& extension)
{
    const QString lower = extension.toLower();
    for (MediaType type : {MediaMusic, MediaVideo, MediaImage, MediaDocument})
        if (extensions(type).contains(lower))
            return type;
    return MediaOther;
}

bool isMusic(const QString& extension)
{
    return KoMediaTypeForExtension(extension) == MediaMusic;
}

bool isMovie(const QString& extension)
{
    return KoMediaTypeForExtension(extension) == MediaVideo;
}

bool isImage(const QString& extension)
{
    return KoMediaTypeForExtension(extension) == MediaImage;
}

bool isiTunesSupportedMusic(const QString& extension)
{
    const QString lower = extension.toLower();
    return isMusic(lower) && lower != QLatin1String("wma") && lower != QLatin1String("ogg");
}

bool isiTunesSupportedVideo(const QString& extension)
{
    const QString lower = extension.toLower();
    static const QSet<QString> unsupported = {"asf", "rm", "ram", "wmv"};
    return isMovie(lower) && !unsupported.contains(lower);
}

}  // namespace ombrelay
