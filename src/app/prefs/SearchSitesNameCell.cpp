#include "app/prefs/SearchSitesNameCell.h"

#include "app/prefs/SearchSitesTableView.h"
#include "search/SearchSites.h"
#include "search/icons/PZFaviconLoader.h"
#include "uikit/PZImage.h"
#include "uikit/PZText.h"

namespace ombrelay {

const PZTextAttributes* SearchSitesNameCell::primaryAttributes() const
{
    return &PZText::textAttributes12();
}

const PZTextAttributes* SearchSitesNameCell::primaryAttributesAlternate() const
{
    return &PZText::textAttributesWhite12();
}

void SearchSitesNameCell::drawInterior(QPainter& painter, const QRect& frame)
{
    const SearchSitesTableView::Row* row = SearchSitesTableView::rowOf(cellObject());
    if (!row || row->isSeparator)
        return;
    setPrimary(SearchSites::nameForSearchSite(row->site));
    PZNode::drawInterior(painter, frame);
}

qreal SearchSitesNameCell::drawLeftDecoration(QPainter& painter, const QRect& frame)
{
    const PZFaviconLoader* loader = SearchSites::faviconLoaderForSearchSite(SearchSitesTableView::rowOf(cellObject())->site);
    if (!loader || loader->flippedFavicon().isNull())
        return 0;
    painter.drawPixmap(QRect(frame.x() - 1, frame.y() + 3, 18, 18), PZImage::flippedImageNamed(QStringLiteral("FaviconBackground")));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(frame.x(), frame.y() + 4, 16, 16), loader->flippedFavicon());
    return 24;  // the text moves 22 to the right (a text line is placed 2 before the margin)
}

}  // namespace ombrelay
