#include "kit/MediaTypes.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

TEST(MediaTypesTest, KindsOfExtensions)
{
    struct Case
    {
        const char* extension;
        MediaType type;
        bool supportedMusic;
        bool supportedVideo;
    };
    const Case cases[] = {
        {"MP3", MediaMusic, true, false},   {"Flac", MediaOther, false, false}, {"WMA", MediaMusic, false, false},
        {"mkv", MediaVideo, false, true},   {"RM", MediaVideo, false, false},   {"TIFF", MediaImage, false, false},
        {"HTML", MediaDocument, false, false}, {"", MediaOther, false, false},  {".mp3", MediaOther, false, false},
    };
    for (const Case& c : cases) {
        const QString extension = QString::fromLatin1(c.extension);
        EXPECT_EQ(KoMediaTypeForExtension(extension), c.type) << c.extension;
        EXPECT_EQ(isMusic(extension), c.type == MediaMusic) << c.extension;
        EXPECT_EQ(isMovie(extension), c.type == MediaVideo) << c.extension;
        EXPECT_EQ(isImage(extension), c.type == MediaImage) << c.extension;
        EXPECT_EQ(isiTunesSupportedMusic(extension), c.supportedMusic) << c.extension;
        EXPECT_EQ(isiTunesSupportedVideo(extension), c.supportedVideo && c.type == MediaVideo) << c.extension;
    }
}

}  // namespace
