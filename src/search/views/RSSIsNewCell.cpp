#include "search/views/RSSIsNewCell.h"

#include "search/feeds/RSSLine.h"
#include "search/views/ResultArtwork.h"
#include "search/views/ResultItem.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"

namespace ombrelay {

void RSSIsNewCell::drawInterior(QPainter& painter, const QRect& frame)
{
    auto* item = dynamic_cast<ResultItem*>(cellObject());
    RSSLine* line = item ? item->rssLine() : nullptr;
    if (!line)
        return;
    ResultArtwork::registerImages();
    QPixmap image;
    int x = frame.x() + 4;
    if (line->isFetching()) {
        image = PZImage::flippedImageNamed(QStringLiteral("SpinOrange"));
        x = frame.x() + 2;
    } else if (line->isNew()) {
        const bool alternate = state().highlighted && state().hostIsFirstResponder;
        image = PZImage::flippedImageNamed(alternate ? QStringLiteral("IsNewAlternate") : QStringLiteral("IsNew"));
    }
    if (!image.isNull())
        PZImageDrawing::drawAtPoint(painter, image, QPoint(x, frame.y() + (frame.height() - image.height()) / 2), 1.0);
}

}  // namespace ombrelay
