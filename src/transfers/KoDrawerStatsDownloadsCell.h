#pragma once

#include "kit/PZByteSize.h"

#include <QColor>
#include <QPainter>
#include <QString>
#include <optional>

namespace ombrelay {

// The sidebar's transfers row: an icon (a complete badge while transfers completed in this run wait
// to be seen), the title "Downloads" or the total download rate, and one count badge: active,
// else connecting, else paused transfers. The setters answer whether the value changed.
class KoDrawerStatsDownloadsCell
{
public:
    struct Badge
    {
        QString text;
        QColor background;
        QColor foreground;
    };

    static const QColor& greyBlue();
    static const QColor& blue();
    // A badge as wide as its text plus 12, never narrower than 20.
    static int badgeWidth(qreal textWidth);
    static QFont badgeFont();

    KoDrawerStatsDownloadsCell();

    bool setNumberOfPaused(int count);
    bool setNumberOfConnecting(int count);
    bool setNumberOfActive(int count);
    bool setNumberOfComplete(int count);
    // Bytes per second; the title shows the rate while it is at least 1 and "kKoNetBandwidth" is on.
    bool setNetBandwidth(float rate);

    bool hasComplete() const { return m_hasComplete; }
    int numberOfPaused() const { return m_numberOfPaused; }
    int numberOfConnecting() const { return m_numberOfConnecting; }
    int numberOfActive() const { return m_numberOfActive; }
    QString title() const { return m_title; }
    QString imageName() const;
    // The badge drawn on a highlighted (selected-looking) or plain row; none without counts.
    std::optional<Badge> badge(bool highlighted, bool emphasised) const;

    void draw(QPainter& painter, const QRect& rect, bool highlighted, bool emphasised) const;

private:
    bool m_hasComplete = false;
    int m_numberOfPaused = 0;
    int m_numberOfConnecting = 0;
    int m_numberOfActive = 0;
    PZByteSize m_netBandwidth;
    QString m_title;
};

}  // namespace ombrelay
