#include "kit/MediaTypes.h"
#include "kit/PZVersionChecker.h"

#include <QRegularExpression>
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
        {"mp3", MediaMusic, true, false},    {"MP3", MediaMusic, true, false},
        {"Flac", MediaOther, false, false},  {"ogg", MediaMusic, false, false},
        {"WMA", MediaMusic, false, false},   {"m4a", MediaMusic, true, false},
        {"aiff", MediaMusic, true, false},   {"mkv", MediaVideo, false, true},
        {"wmv", MediaVideo, false, false},   {"RM", MediaVideo, false, false},
        {"asf", MediaVideo, false, false},   {"ram", MediaVideo, false, false},
        {"M4V", MediaVideo, false, true},    {"divx", MediaVideo, false, true},
        {"jpeg", MediaImage, false, false},  {"TIFF", MediaImage, false, false},
        {"pdf", MediaDocument, false, false}, {"HTML", MediaDocument, false, false},
        {"torrent", MediaOther, false, false}, {"", MediaOther, false, false},
        {".mp3", MediaOther, false, false},
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

TEST(PZVersionCheckerTest, VersionsComeFromTheBuild)
{
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+(\\.\\d+)?$"))
                    .match(PZVersionChecker::applicationMajorVersion())
                    .hasMatch())
        << PZVersionChecker::applicationMajorVersion().toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+$")).match(PZVersionChecker::applicationBuildVersion()).hasMatch())
        << PZVersionChecker::applicationBuildVersion().toStdString();
}

}  // namespace
