#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

namespace ombrelay {

// The transfers view's own images, registered with PZImage under their names ("Pause13",
// "PauseActive13", "Resume13", "Download13", "Remove13", "Reveal13", "Alert16", "Complete12", "GetFile"
// and the "Active"/"Highlighted" variants), and the progress bar.
class TransferArtwork
{
public:
    static void registerImages();  // once per process; later calls do nothing

    enum class BarColor { Complete, Active, Inactive };
    // A rounded bar: the empty background, the filled part `fraction` of the width, fading in its last
    // column; the stripes of a starting torrent move with `animationOffset` (0 to 7).
    static void drawProgressBar(QPainter& painter, const QRectF& rect, double fraction, BarColor color);
    static void drawIndeterminate(QPainter& painter, const QRectF& rect, int animationOffset);
    static QColor fillColor(BarColor color);
};

}  // namespace ombrelay
