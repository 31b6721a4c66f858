#pragma once

#include "uikit/PZTrackingCell.h"

#include <QString>

namespace ombrelay {

class ScraperItem;

// The group row of a search site across the whole row: the site's icon, its name, the count of its
// shown results and an arrow that opens the site's own results page in the default browser.
class SearchSiteScraperCell : public PZTrackingCell
{
public:
    static SearchSiteScraperCell& instance();
    // "1 result" or "%i results".
    static QString resultsText(int count);
    // The band behind a whole group row, indentation included.
    static void drawBackground(QPainter& painter, const QRect& row);

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;

private:
    SearchSiteScraperCell() = default;
    static void drawShadowedText(QPainter& painter, const QRect& rect, const QString& text, const QFont& font,
                                 const QColor& color, Qt::Alignment alignment);
};

}  // namespace ombrelay
