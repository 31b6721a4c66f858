#include "search/views/QueryPaneInfoCell.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/OBDefaults.h"
#include "kit/TextHelpers.h"
#include "search/views/ResultArtwork.h"
#include "search/views/ResultItem.h"
#include "uikit/PZColor.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"

#include <QCoreApplication>
#include <cmath>

namespace ombrelay {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("QueryPaneInfoCell", text);
}

PZTextAttributes style(bool large, bool white)
{
    PZTextAttributes attributes;
    attributes.font = PZText::systemFont(11);
    attributes.color = white ? PZColor::whiteColor(0.5f) : PZColor::grayColor70();
    attributes.paragraph.alignment = large ? Qt::AlignLeft : Qt::AlignRight;
    attributes.paragraph.elide = large ? Qt::ElideRight : Qt::ElideMiddle;
    return attributes;
}

}  // namespace

float QueryPaneInfoCell::numberOfStars(qint64 swarmSize)
{
    struct Step { qint64 from; float stars; };
    static constexpr Step steps[] = {{151, 5}, {101, 4.5f}, {81, 4}, {76, 3.5f}, {51, 3}, {26, 2.5f},
                                     {16, 2}, {6, 1.5f}, {2, 1}, {1, 0.5f}};
    for (const Step& step : steps)
        if (swarmSize >= step.from)
            return step.stars;
    return 0;
}

QString QueryPaneInfoCell::swarmText(qint64 seeds, qint64 leeches, bool large, int frameWidth, int textWidth)
{
    if (seeds + leeches >= 10000)
        return tr("many");
    if (!large && (frameWidth == 105 || textWidth <= 40))
        return QString::number(seeds + leeches);
    const QString s = stringWithNumberOfObjects(seeds, tr("seed"));
    const QString p = stringWithNumberOfObjects(leeches, tr("peer"));
    if (!large && seeds > 0)
        return leeches > 0 ? s + QLatin1Char(' ') + QStringLiteral("/ %1").arg(seeds + leeches) : s;
    if (!s.isEmpty() && !p.isEmpty())
        return s + (large ? QStringLiteral(", ") : QStringLiteral(" ")) + p;
    return s.isEmpty() ? p : s;
}

void QueryPaneInfoCell::drawInterior(QPainter& painter, const QRect& frame)
{
    auto* item = dynamic_cast<ResultItem*>(cellObject());
    TorrentLine* line = item ? item->torrentLine() : nullptr;
    if (!line || line->swarmSize() <= 0)
        return;
    ResultArtwork::registerImages();
    const bool large = OBDefaults::kQueryViewMode() == 1;
    const bool white = state().highlighted && state().hostIsFirstResponder;
    const float stars = numberOfStars(line->swarmSize());
    PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(ResultArtwork::starsImageName(stars, white)),
                                QPoint(frame.x() + 6, frame.y() + (large ? 7 : 2)), 1.0);
    const int starSlots = int(std::ceil(stars));
    const QRect text = large ? QRect(frame.x() + 6, frame.y() + 21, frame.width() - 12, frame.height())
                             : QRect(frame.x() + 12 * starSlots + 12, frame.y() + 1,
                                     frame.width() - (12 * starSlots + 18), frame.height());
    static const PZTextAttributes styles[2][2] = {{style(false, false), style(false, true)},
                                                  {style(true, false), style(true, true)}};
    const PZTextAttributes& attributes = styles[large][white];
    const QString shown = swarmText(line->seeds(), line->leeches(), large, frame.width(), text.width());
    drawString(painter, shown, text, QPoint(0, 0), attributes);
}

}  // namespace ombrelay
