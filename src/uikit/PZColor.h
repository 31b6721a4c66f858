#pragma once

#include <QColor>

namespace ombrelay {

// The process-wide colour vocabulary. Every colour handed out is a shared, cached object (compare
// addresses to tell two requests apart); main thread only, never emptied.
class PZColor
{
public:
    static const QColor& colorWithCalibratedRed(double red, double green, double blue, double alpha);
    // `color` blended with `fraction` of `other`.
    static const QColor& color(const QColor& color, double fraction, const QColor& other);

    // 0 white, 1 light blue, 2 strong selection, 3 inactive selection; null for other indexes.
    static const QColor* colorForIndex(int index);
    static int indexForColor(const QColor* color);

    // Table colours, one per hundredth: f is limited to at most 1; negative and non-finite f give slot 0.
    static const QColor& grayColor(float f);
    static const QColor& whiteColor(float alpha);
    static const QColor& blackAlpha(float alpha);
    static const QColor& grayAlpha(float alpha);
    static const QColor& lightGrayAlpha(float alpha);

    static const QColor& grayColor10();
    static const QColor& grayColor20();
    static const QColor& grayColor30();
    static const QColor& grayColor40();
    static const QColor& grayColor50();
    static const QColor& grayColor60();
    static const QColor& grayColor70();
    static const QColor& grayColor75();
    static const QColor& grayColor80();
    static const QColor& grayColor85();
    static const QColor& grayColor90();
    static const QColor& whiteColor();
    static const QColor& redColor();
    static const QColor& grayColor();
    static const QColor& lightGrayColor();
    static const QColor& blackColor();
    static const QColor& lightBlueColor();
    static const QColor& lightBlueColorA();
    static const QColor& alternateSelectedControlColor();
    static const QColor& secondarySelectedControlColor();
    static const QColor& whiteColorBlendedWithAlternate();

    // The table slot of f (0 to 100).
    static int slotFor(float f);
};

}  // namespace ombrelay
