#pragma once

#include "uikit/PZTextAttributes.h"

namespace ombrelay {

// The shared text attribute sets, each built once on first request (sizes are pixel sizes).
class PZText
{
public:
    static const PZTextAttributes& textAttributes11();
    static const PZTextAttributes& textAttributes12();
    static const PZTextAttributes& boldTextAttributes11();
    static const PZTextAttributes& boldTextAttributes12();
    static const PZTextAttributes& textAttributesCentered11();
    static const PZTextAttributes& textAttributesCentered12();
    static const PZTextAttributes& textAttributesGray11();
    static const PZTextAttributes& textAttributesGray12();
    static const PZTextAttributes& textAttributesGrayCentered11();
    static const PZTextAttributes& textAttributesGrayCentered12();
    static const PZTextAttributes& textAttributesWhite11();
    static const PZTextAttributes& textAttributesWhite12();
    static const PZTextAttributes& boldTextAttributesWhite11();
    static const PZTextAttributes& boldTextAttributesWhite12();
    static const PZTextAttributes& textAttributesWhiteCentered11();
    static const PZTextAttributes& textAttributesWhiteCentered12();
    static const PZTextAttributes& boldTextAttributesWhiteCentered12();
    static const PZTextAttributes& textAttributesBlended11();
    static const PZTextAttributes& textAttributesBlended12();
    static const PZTextAttributes& textAttributesBlendedCentered11();
    static const PZTextAttributes& textAttributesBlendedCentered12();

    static PZParagraphStyle truncatingParagraphStyle();
    static PZParagraphStyle centerParagraphStyle();
    static PZParagraphStyle rightParagraphStyle();
    static PZShadow whiteShadow();
    static PZShadow blackShadow();
    static PZShadow alternateShadow();

    // The system font at a pixel size.
    static QFont systemFont(int pixelSize, bool bold = false);
};

}  // namespace ombrelay
