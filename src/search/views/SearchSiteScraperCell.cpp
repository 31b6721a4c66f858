#include "search/views/SearchSiteScraperCell.h"

#include "search/SearchSiteScraper.h"
#include "search/SearchSites.h"
#include "search/icons/PZFaviconLoader.h"
#include "search/views/ResultArtwork.h"
#include "search/views/ScraperItem.h"
#include "uikit/PZColor.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTreeView>

namespace ombrelay {

SearchSiteScraperCell& SearchSiteScraperCell::instance()
{
    static SearchSiteScraperCell cell;
    return cell;
}

QString SearchSiteScraperCell::resultsText(int count)
{
    return count == 1 ? QCoreApplication::translate("SearchSiteScraperCell", "1 result")
                      : QCoreApplication::translate("SearchSiteScraperCell", "%1 results").arg(count);
}

QList<QRect> SearchSiteScraperCell::controlRects(const QRect& frame, PZOutlineObject*) const
{
    return {QRect(frame.x() + frame.width() - 58, frame.y() + (frame.height() - 12) / 2, 32, 32)};
}

void SearchSiteScraperCell::performAction(PZOutlineObject* object, QWidget*)
{
    auto* group = dynamic_cast<ScraperItem*>(object);
    const QUrl page = group && group->scraper() ? group->scraper()->externalURL() : QUrl();
    if (page.isValid())
        QDesktopServices::openUrl(page);
}

void SearchSiteScraperCell::drawBackground(QPainter& painter, const QRect& row)
{
    const QColor band(236, 238, 242);
    painter.fillRect(row, band);
    painter.fillRect(QRect(row.x(), row.bottom(), row.width(), 1), PZColor::color(band, 0.1, Qt::black));
}

void SearchSiteScraperCell::drawShadowedText(QPainter& painter, const QRect& rect, const QString& text,
                                             const QFont& font, const QColor& color, Qt::Alignment alignment)
{
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width());
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 191));
    painter.drawText(rect.translated(0, 1), int(alignment | Qt::AlignTop) | Qt::TextSingleLine, shown);
    painter.setPen(color);
    painter.drawText(rect, int(alignment | Qt::AlignTop) | Qt::TextSingleLine, shown);
}

void SearchSiteScraperCell::drawInterior(QPainter& painter, const QRect& frame)
{
    auto* group = dynamic_cast<ScraperItem*>(cellObject());
    SearchSiteScraper* scraper = group ? group->scraper() : nullptr;
    if (!scraper)
        return;
    ResultArtwork::registerImages();
    const int x = frame.x();
    const int y = frame.y();
    const int h = frame.height();

    const QVariantMap site = scraper->searchSite();
    const PZFaviconLoader* icon = SearchSites::faviconLoaderForSearchSite(site);
    if (icon && !icon->flippedFavicon().isNull()) {
        const int left = x + 8;
        PZImageDrawing::drawInRect(painter, PZImage::flippedImageNamed(QStringLiteral("FaviconBackground")),
                                   QRectF(left, y + (h - 18) / 2, 18, 18));
        painter.drawImage(QRectF(left + 1, y + (h - 16) / 2, 16, 16), icon->flippedFavicon());
    }
    const bool pressed = activeTrackingRect() == 0;
    PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(QStringLiteral("RightArrowTemplate")),
                                QPointF(x + frame.width() - 46, y + (h - 12) / 2), pressed ? 0.7 : 0.4);

    const auto* list = qobject_cast<const QTreeView*>(state().view);
    const int width = list ? list->header()->sectionSize(list->header()->logicalIndex(0)) : 0;
    QFont countFont = PZText::systemFont(11, true);
    const QString count = resultsText(int(group->arrangedItems().size()));
    const int countWidth = QFontMetrics(countFont).horizontalAdvance(count);
    drawShadowedText(painter, QRect(x + width - countWidth - 21, y + 9, countWidth + 1, h - 9), count, countFont,
                     PZColor::colorWithCalibratedRed(0.27451, 0.486275, 0.8, 1.0), Qt::AlignLeft);
    drawShadowedText(painter, QRect(x + 32, y + 6, std::max(0, width - countWidth - 69), 20),
                     SearchSites::nameForSearchSite(site), PZText::systemFont(13, true), Qt::black, Qt::AlignLeft);
}

}  // namespace ombrelay
