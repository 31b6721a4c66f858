#pragma once

#include "kit/PZByteSize.h"

#include <QFont>
#include <QImage>
#include <QPainter>

namespace ombrelay {

// The 128-pixel application tile shown as the tray icon: the application icon, a badge with the number of
// completed transfers and, when "kKoNetBandwidthDock" is on, a badge with the download rate.
class DockTileView
{
public:
    static constexpr int kSize = 128;

    DockTileView();

    // The tile for a complete count and a download rate (bytes per second).
    QImage render(int numberOfComplete, double downstreamRate) const;

    // The rate badge's text, empty when no rate badge shows.
    QString bandwidthText(double downstreamRate) const;
    // The completed badge's image name and text ("Badge1" .. "Badge4", "!!" from 9999 on); empty below 1.
    static QString completeBadgeImage(int numberOfComplete);
    static QString completeBadgeText(int numberOfComplete);

private:
    void drawCompleteBadge(QPainter& painter, int numberOfComplete) const;
    void drawBandwidthBadge(QPainter& painter, const QString& text) const;
    static void registerImages();

    PZByteSize m_formatter;
    QFont m_bandwidthFont;
    QFont m_badgeFont;
};

}  // namespace ombrelay
