#pragma once

#include <QString>

namespace ombrelay {

// The result and feed lists' own images, drawn by code and registered with PZImage under their names:
// the star strips ("5StarsBlue" ... "0.5StarsWhite", 12 px a star), the article arrows, "IsNew",
// "IsNewAlternate", "SpinOrange", "DownloadCell" (66 by 13), "Close8", "CompleteActive12",
// "FaviconBackground" and "RightArrowTemplate", with the "Active" variants. The transfers artwork is
// registered too.
class ResultArtwork
{
public:
    static void registerImages();  // once per process

    // The star strip for a count of stars (0.5 steps) in blue or, on a selected row, white.
    static QString starsImageName(float stars, bool white);
};

}  // namespace ombrelay
