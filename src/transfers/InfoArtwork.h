#pragma once

namespace ombrelay {

// The info area's and the sidebar row's images, drawn by code and registered with PZImage under their
// names: "Complete44", "RoundButtonHover", "RoundButtonActive", "DownArrow", "DownArrowHighlighted",
// "Reveal14", "RevealActive14", "Download16", "Download16Alternate", "CompleteBadge", "Selection44"
// and "SelectionAlternate44".
class InfoArtwork
{
public:
    static void registerImages();  // once per process; later calls do nothing
};

}  // namespace ombrelay
