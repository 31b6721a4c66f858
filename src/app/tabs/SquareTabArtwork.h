#pragma once

namespace ombrelay {

// The square tabs' images, drawn by code and registered with PZImage, all 22 high: the unselected tab
// ("TabInactive", "TabHover"; in an inactive window "TabInactiveAlternate", "TabHoverAlternate"), 40
// wide for a 9-point left cap; the selected tab's caps and fill ("TabSelectedLeft", "TabSelectedRight",
// "TabSelectedFill" and their "TabSelectedInactive..." forms); and the strip's shadow ("TabShadow",
// 6 high).
class SquareTabArtwork
{
public:
    static constexpr int kCapWidth = 9;
    static void registerImages();  // once per process
};

}  // namespace ombrelay
