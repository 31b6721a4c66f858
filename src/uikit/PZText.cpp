#include "uikit/PZText.h"

#include "uikit/PZColor.h"

#include <QGuiApplication>

namespace ombrelay {

namespace {

enum class Style { Truncating, Centred };

PZTextAttributes make(int size, bool bold, const QColor& color, Style style)
{
    return {PZText::systemFont(size, bold), color,
            style == Style::Centred ? PZText::centerParagraphStyle() : PZText::truncatingParagraphStyle()};
}

}  // namespace

QFont PZText::systemFont(int pixelSize, bool bold)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

#define PZ_ATTRIBUTES(name, size, bold, color, style)                              \
    const PZTextAttributes& PZText::name()                                         \
    {                                                                              \
        static const PZTextAttributes attributes = make(size, bold, color, style); \
        return attributes;                                                         \
    }
PZ_ATTRIBUTES(textAttributes11, 11, false, PZColor::blackColor(), Style::Truncating)
PZ_ATTRIBUTES(textAttributes12, 12, false, PZColor::blackColor(), Style::Truncating)
PZ_ATTRIBUTES(boldTextAttributes11, 11, true, PZColor::blackColor(), Style::Truncating)
PZ_ATTRIBUTES(boldTextAttributes12, 12, true, PZColor::blackColor(), Style::Truncating)
PZ_ATTRIBUTES(textAttributesCentered11, 11, false, PZColor::blackColor(), Style::Centred)
PZ_ATTRIBUTES(textAttributesCentered12, 12, false, PZColor::blackColor(), Style::Centred)
PZ_ATTRIBUTES(textAttributesGray11, 11, false, PZColor::grayColor(0.65f), Style::Truncating)
PZ_ATTRIBUTES(textAttributesGray12, 12, false, PZColor::grayColor(0.65f), Style::Truncating)
PZ_ATTRIBUTES(textAttributesGrayCentered11, 11, false, PZColor::grayColor(0.65f), Style::Centred)
PZ_ATTRIBUTES(textAttributesGrayCentered12, 12, false, PZColor::grayColor(0.65f), Style::Centred)
PZ_ATTRIBUTES(textAttributesWhite11, 11, false, PZColor::whiteColor(), Style::Truncating)
PZ_ATTRIBUTES(textAttributesWhite12, 12, false, PZColor::whiteColor(), Style::Truncating)
PZ_ATTRIBUTES(boldTextAttributesWhite11, 11, true, PZColor::whiteColor(), Style::Truncating)
PZ_ATTRIBUTES(boldTextAttributesWhite12, 12, true, PZColor::whiteColor(), Style::Truncating)
PZ_ATTRIBUTES(textAttributesWhiteCentered11, 11, false, PZColor::whiteColor(), Style::Centred)
PZ_ATTRIBUTES(textAttributesWhiteCentered12, 12, false, PZColor::whiteColor(), Style::Centred)
PZ_ATTRIBUTES(boldTextAttributesWhiteCentered12, 12, true, PZColor::whiteColor(), Style::Centred)
PZ_ATTRIBUTES(textAttributesBlended11, 11, false, PZColor::whiteColorBlendedWithAlternate(), Style::Truncating)
PZ_ATTRIBUTES(textAttributesBlended12, 12, false, PZColor::whiteColorBlendedWithAlternate(), Style::Truncating)
PZ_ATTRIBUTES(textAttributesBlendedCentered11, 11, false, PZColor::whiteColorBlendedWithAlternate(), Style::Centred)
PZ_ATTRIBUTES(textAttributesBlendedCentered12, 12, false, PZColor::whiteColorBlendedWithAlternate(), Style::Centred)
#undef PZ_ATTRIBUTES

PZParagraphStyle PZText::truncatingParagraphStyle()
{
    return {Qt::AlignLeft, Qt::ElideRight};
}

PZParagraphStyle PZText::centerParagraphStyle()
{
    return {Qt::AlignHCenter, Qt::ElideRight};
}

PZParagraphStyle PZText::rightParagraphStyle()
{
    return {Qt::AlignRight, Qt::ElideRight};
}

PZShadow PZText::whiteShadow()
{
    return {{0, 1.1}, 0.8, QColor::fromRgbF(1, 1, 1, 1)};
}

PZShadow PZText::blackShadow()
{
    return {{0, 1.1}, 0.8, QColor::fromRgbF(0, 0, 0, 1)};
}

PZShadow PZText::alternateShadow()
{
    return {{0, 1.1}, 0, QColor::fromRgbF(0, 0, 0, 0.3f)};
}

}  // namespace ombrelay
