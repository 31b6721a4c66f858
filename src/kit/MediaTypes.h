#pragma once

#include <QString>

namespace ombrelay {

// What kind of media a file extension names.
enum MediaType { MediaMusic = 0, MediaVideo = 1, MediaImage = 2, MediaDocument = 3, MediaOther = 4 };

// The extension is compared in lower case, so "MP3" is music like "mp3".
MediaType KoMediaTypeForExtension(const QString& extension);
bool isMusic(const QString& extension);
bool isMovie(const QString& extension);
bool isImage(const QString& extension);
// Music and video that the media library takes (not "wma", "ogg"; not "asf", "rm", "ram", "wmv").
bool isiTunesSupportedMusic(const QString& extension);
bool isiTunesSupportedVideo(const QString& extension);

}  // namespace ombrelay
