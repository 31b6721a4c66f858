#include "uikit/PZArtwork.h"
#include "uikit/PZAttributedString.h"
#include "uikit/PZColor.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ombrelay;

TEST(CachesTest, CalibratedAndBlendedColoursAreSharedPerExactKey)
{
    const QColor& grey = PZColor::colorWithCalibratedRed(0.5, 0.5, 0.5, 1);
    EXPECT_EQ(&grey, &PZColor::colorWithCalibratedRed(0.5, 0.5, 0.5, 1));
    EXPECT_NE(&grey, &PZColor::colorWithCalibratedRed(0.5, 0.5, 0.5, 0.99));

    const QColor& mixed = PZColor::color(PZColor::whiteColor(), 0.5, PZColor::blackColor());
    EXPECT_EQ(&mixed, &PZColor::color(PZColor::whiteColor(), 0.5, PZColor::blackColor()));
    EXPECT_NEAR(mixed.redF(), 0.5, 0.01);
    EXPECT_NE(&mixed, &PZColor::color(PZColor::whiteColor(), 0.25, PZColor::blackColor()));
    EXPECT_EQ(&PZColor::grayColor50(), &PZColor::grayColor50());
}

TEST(CachesTest, TableColoursTakeTheHundredthBelowAndLimitTheirInput)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        float f;
        int slot;
    };
    const Case cases[] = {{1.7f, 100}, {-0.2f, 0}, {0.999f, 99}, {0.656f, 65}, {0.65f, 65}, {nan, 0}, {inf, 0}, {-inf, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(PZColor::slotFor(c.f), c.slot) << c.f;
        EXPECT_NEAR(PZColor::grayColor(c.f).redF(), c.slot / 100.0, 0.005) << c.f;
        EXPECT_NEAR(PZColor::whiteColor(c.f).alphaF(), c.slot / 100.0, 0.005) << c.f;
    }
    EXPECT_EQ(&PZColor::grayColor(0.656f), &PZColor::grayColor(0.65f));
    EXPECT_NE(&PZColor::blackAlpha(0.3f), &PZColor::grayAlpha(0.3f));
}

TEST(CachesTest, IndexedColoursRoundTrip)
{
    for (int index = 0; index < 4; ++index)
        EXPECT_EQ(PZColor::indexForColor(PZColor::colorForIndex(index)), index);
    EXPECT_EQ(PZColor::colorForIndex(4), nullptr);
    EXPECT_EQ(PZColor::colorForIndex(-1), nullptr);
    EXPECT_EQ(PZColor::indexForColor(&PZColor::redColor()), 0);
}

TEST(CachesTest, NamedImagesAreDrawnAndCached)
{
    for (const char* name : {"CheckboxOn", "CheckboxOffActive", "CheckboxMixedX", "CheckboxOnActiveG"}) {
        const QPixmap image = PZImage::imageNamed(QString::fromUtf8(name));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(12, 13)) << name;
        EXPECT_EQ(image.cacheKey(), PZImage::flippedImageNamed(QString::fromUtf8(name)).cacheKey());
    }
    EXPECT_EQ(PZImage::imageNamed(QStringLiteral("BlueGradient24")).height(), 24);
    EXPECT_TRUE(PZImage::imageNamed(QStringLiteral("NoSuchImage")).isNull());
    EXPECT_NE(PZArtwork::draw(QStringLiteral("CheckboxOn")), PZArtwork::draw(QStringLiteral("CheckboxOnActive")));
    EXPECT_NE(PZArtwork::draw(QStringLiteral("CheckboxOn")), PZArtwork::draw(QStringLiteral("CheckboxOnX")));

    int drawn = 0;
    PZImage::registerDrawing(QStringLiteral("TestBadge"), [&] {
        ++drawn;
        QImage image(5, 7, QImage::Format_ARGB32);
        image.fill(Qt::red);
        return image;
    });
    EXPECT_EQ(PZImage::imageNamed(QStringLiteral("TestBadge")).size(), QSize(5, 7));
    PZImage::imageNamed(QStringLiteral("TestBadge"));
    EXPECT_EQ(drawn, 1);
    PZImage::registerDrawing(QStringLiteral("TestBadge"), [] { return QImage(6, 2, QImage::Format_ARGB32); });
    EXPECT_EQ(PZImage::imageNamed(QStringLiteral("TestBadge")).size(), QSize(6, 2)) << "a new drawing replaces the old image";

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("pic.png"));
    QImage picture(3, 4, QImage::Format_ARGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(path));
    EXPECT_EQ(PZImage::imageAtPath(path).size(), QSize(3, 4));
    EXPECT_TRUE(PZImage::imageAtPath(folder.filePath(QStringLiteral("missing.png"))).isNull());
}

TEST(CachesTest, IconsHaveTheCacheEdgeAndAreKept)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("song.mp3"));
    QFile(file).open(QIODevice::WriteOnly);
    for (PZIconCache* cache : {&PZIconCache::instance16(), &PZIconCache::instance32()}) {
        const QPixmap icon = cache->iconForFile(file);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.width(), cache->width());
        EXPECT_EQ(icon.cacheKey(), cache->iconForFile(file).cacheKey());
        EXPECT_TRUE(cache->iconForFile(QString()).isNull());
        EXPECT_TRUE(cache->iconForFile(folder.filePath(QStringLiteral("absent.txt"))).isNull());
        EXPECT_FALSE(cache->iconForFilePath(folder.filePath(QStringLiteral("absent.txt"))).isNull());
        EXPECT_EQ(cache->iconForExtension(QStringLiteral("mkv")).width(), cache->width());
        EXPECT_EQ(cache->iconForFile(folder.path()).cacheKey(), cache->folderIcon().cacheKey());
    }
}

TEST(CachesTest, SlicesCoverTheRectangle)
{
    const QList<PZImageDrawing::Slice> three = PZImageDrawing::threeSlices(QSize(20, 8), QRectF(0, 0, 100, 12.7), 9);
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(three[0].target, QRectF(0, 0, 9, 12));
    EXPECT_EQ(three[1].target, QRectF(9, 0, 81, 12));
    EXPECT_EQ(three[1].source, QRect(9, 0, 1, 8));
    EXPECT_EQ(three[2].target, QRectF(90, 0, 10, 12));
    EXPECT_EQ(three[2].source, QRect(10, 0, 10, 8));
    EXPECT_TRUE(PZImageDrawing::threeSlices(QSize(20, 8), QRectF(0, 0, 100, 12), 20).isEmpty());

    const QList<PZImageDrawing::Slice> tiles = PZImageDrawing::patternSlices(QSize(8, 24), QRectF(2, 5, 20, 10));
    ASSERT_EQ(tiles.size(), 3);
    EXPECT_EQ(tiles[0].target, QRectF(2, 5, 8, 24));
    EXPECT_EQ(tiles[1].target, QRectF(10, 5, 8, 24));
    EXPECT_EQ(tiles[2].target, QRectF(18, 5, 4, 10));
    EXPECT_EQ(tiles[2].source, QRect(0, 0, 4, 10));
}

TEST(CachesTest, OpacityIsLimitedAndNeverNaN)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> cases[] = {{0.5, 0.5}, {-1, 0}, {3, 1}, {nan, 1}, {inf, 1}, {-inf, 1}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(PZImageDrawing::clampedOpacity(in), out) << in;
}

TEST(CachesTest, HighlightingFindsTermsInTheOriginalTextCaseInsensitively)
{
    PZTextAttributes bold = PZText::boldTextAttributes11();
    struct Case
    {
        QString text;
        QStringList terms;
        QList<std::pair<int, int>> ranges;
    };
    const Case cases[] = {
        {QStringLiteral("ABC then abc"), {"abc"}, {{0, 3}}},
        {QStringLiteral("The Movie 1080p"), {"movie", "1080P", "absent"}, {{4, 5}, {10, 5}}},
        // Lower-casing changes lengths here; ranges still sit on the original text.
        {QStringLiteral("İstanbul blues"), {"blues"}, {{9, 5}}},
        {QStringLiteral("short"), {"", "longer than the text"}, {}},
    };
    for (const Case& c : cases) {
        PZAttributedString text(c.text);
        text.highlightStrings(c.terms, bold);
        QList<std::pair<int, int>> ranges;
        for (const PZAttributedString::Range& range : text.ranges())
            ranges.append({range.start, range.length});
        EXPECT_EQ(ranges, c.ranges) << c.text.toStdString();
    }
    PZAttributedString clamped(QStringLiteral("abc"));
    clamped.setAttributes(bold, 2, 40);
    clamped.setAttributes(bold, -5, 2);
    clamped.setAttributes(bold, 9, 1);
    ASSERT_EQ(clamped.ranges().size(), 1);
    EXPECT_EQ(clamped.ranges()[0].start, 2);
    EXPECT_EQ(clamped.ranges()[0].length, 1);
    EXPECT_TRUE(clamped.attributesAt(2, PZText::textAttributes11()).font.bold());
    EXPECT_FALSE(clamped.attributesAt(1, PZText::textAttributes11()).font.bold());
    EXPECT_EQ(clamped.whiteAttributedString().attributesAt(0, PZText::textAttributes11()).color, PZColor::whiteColor());
}
