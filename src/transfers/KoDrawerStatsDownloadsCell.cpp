#include "transfers/KoDrawerStatsDownloadsCell.h"

#include "kit/Settings.h"
#include "transfers/InfoArtwork.h"
#include "uikit/PZImage.h"
#include "uikit/PZRoundRect.h"
#include "uikit/PZText.h"

#include <QCoreApplication>
#include <cmath>

namespace ombrelay {

namespace {

QString downloadsTitle()
{
    return QCoreApplication::translate("KoDrawerStatsDownloadsCell", "Downloads");
}

template <typename T>
bool store(T& field, T value)
{
    const bool changed = field != value;
    field = value;
    return changed;
}

}  // namespace

const QColor& KoDrawerStatsDownloadsCell::greyBlue()
{
    static const QColor color(136, 153, 188);
    return color;
}

const QColor& KoDrawerStatsDownloadsCell::blue()
{
    static const QColor color(58, 117, 193);
    return color;
}

int KoDrawerStatsDownloadsCell::badgeWidth(qreal textWidth)
{
    return std::max(int(std::ceil(textWidth)) + 12, 20);
}

QFont KoDrawerStatsDownloadsCell::badgeFont()
{
    return PZText::systemFont(11, true);
}

KoDrawerStatsDownloadsCell::KoDrawerStatsDownloadsCell() : m_title(downloadsTitle())
{
    InfoArtwork::registerImages();
}

bool KoDrawerStatsDownloadsCell::setNumberOfPaused(int count)
{
    return store(m_numberOfPaused, count);
}

bool KoDrawerStatsDownloadsCell::setNumberOfConnecting(int count)
{
    return store(m_numberOfConnecting, count);
}

bool KoDrawerStatsDownloadsCell::setNumberOfActive(int count)
{
    return store(m_numberOfActive, count);
}

bool KoDrawerStatsDownloadsCell::setNumberOfComplete(int count)
{
    return store(m_hasComplete, count != 0);
}

bool KoDrawerStatsDownloadsCell::setNetBandwidth(float rate)
{
    const quint64 value = std::isfinite(rate) && rate > 0 ? quint64(rate) : 0;
    if (!m_netBandwidth.setValue(value))
        return false;
    const bool showRate = value >= 1 && Settings::instance().boolean(QStringLiteral("kKoNetBandwidth"));
    m_title = showRate ? m_netBandwidth.description() + QStringLiteral("/s") : downloadsTitle();
    return true;
}

QString KoDrawerStatsDownloadsCell::imageName() const
{
    return m_hasComplete ? QStringLiteral("CompleteBadge") : QStringLiteral("Download16");
}

std::optional<KoDrawerStatsDownloadsCell::Badge> KoDrawerStatsDownloadsCell::badge(bool highlighted,
                                                                                  bool emphasised) const
{
    const auto text = [](int count, const char* one, const char* many) {
        return count == 1 ? QCoreApplication::translate("KoDrawerStatsDownloadsCell", one)
                          : QCoreApplication::translate("KoDrawerStatsDownloadsCell", many).arg(count);
    };
    const QColor white(Qt::white);
    const QColor& onWhite = emphasised ? blue() : greyBlue();
    if (m_numberOfActive > 0) {
        const QString label = text(m_numberOfActive, "1 active", "%1 active");
        return highlighted ? Badge{label, white, onWhite} : Badge{label, greyBlue(), white};
    }
    if (m_numberOfConnecting > 0)
        return Badge{text(m_numberOfConnecting, "1 connecting", "%1 connecting"), white, onWhite};
    if (m_numberOfPaused > 0)
        return Badge{text(m_numberOfPaused, "1 paused", "%1 paused"), white, onWhite};
    return std::nullopt;
}

void KoDrawerStatsDownloadsCell::draw(QPainter& painter, const QRect& rect, bool highlighted, bool emphasised) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QString image = highlighted && !m_hasComplete ? QStringLiteral("Download16Alternate") : imageName();
    painter.drawPixmap(QPoint(rect.x() + 8, rect.y() + 13), PZImage::flippedImageNamed(image));

    int right = rect.right() - 6;
    if (const std::optional<Badge> shown = badge(highlighted, emphasised)) {
        painter.setFont(badgeFont());
        const qreal textWidth = painter.fontMetrics().horizontalAdvance(shown->text);
        const int width = badgeWidth(textWidth);
        const QRectF box(right - width, rect.y() + 13, width, 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shown->background);
        painter.drawPath(PZRoundRect::roundRectangleInRect(box));
        painter.setPen(shown->foreground);
        painter.drawText(box, Qt::AlignCenter, shown->text);
        right = int(box.x()) - 4;
    }

    const QRect titleRect(rect.x() + 30, rect.y(), std::max(0, right - rect.x() - 34), rect.height());
    painter.setFont(PZText::systemFont(12, highlighted));
    const QString title = painter.fontMetrics().elidedText(m_title, Qt::ElideRight, titleRect.width());
    if (highlighted) {
        painter.setPen(PZText::alternateShadow().color);
        painter.drawText(QRectF(titleRect).translated(PZText::alternateShadow().offset), Qt::AlignVCenter, title);
        painter.setPen(Qt::white);
    } else {
        painter.setPen(QColor(20, 20, 20));
    }
    painter.drawText(titleRect, Qt::AlignVCenter, title);
    painter.restore();
}

}  // namespace ombrelay
