#pragma once

namespace ombrelay {

// The images of the bars around the panes, drawn by code and registered with PZImage: the status bar
// ("StatusBar16", "StatusBar16Inactive"), the dark gradient ("Gradient106", "Gradient106Alternate"), the
// flat button ("FlatButton", "FlatButtonActive", "FlatButtonInactive") and the flat checkbox
// ("FlatCheckboxChecked", "FlatCheckboxUnchecked" and their "Active" variants).
class PaneBarArtwork
{
public:
    static void registerImages();  // once per process
};

}  // namespace ombrelay
