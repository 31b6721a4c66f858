#include "search/views/RSSPaneDateCell.h"

#include "kit/DateText.h"
#include "kit/OBDefaults.h"
#include "search/feeds/RSSLine.h"
#include "search/views/ResultItem.h"
#include "uikit/PZColor.h"
#include "uikit/PZText.h"

#include <QLocale>

namespace ombrelay {

QString RSSPaneDateCell::dateText(const QDateTime& date, const QDateTime& now)
{
    if (!date.isValid())
        return {};
    if (date.toLocalTime().date() > now.toLocalTime().date())
        return DateText::nicelyFormattedString(date, date.addDays(7));  // a week on: the medium date
    return DateText::nicelyFormattedString(date, now);
}

const PZTextAttributes* RSSPaneDateCell::primaryAttributes() const
{
    return m_isArticle ? &PZText::textAttributesGrayCentered11() : &PZText::textAttributesCentered11();
}

const PZTextAttributes* RSSPaneDateCell::primaryAttributesAlternate() const
{
    return m_isArticle ? &PZText::textAttributesBlendedCentered11() : &PZText::textAttributesWhiteCentered11();
}

const PZTextAttributes* RSSPaneDateCell::secondaryAttributes() const
{
    static const PZTextAttributes attributes = [] {
        PZTextAttributes a = PZText::textAttributesCentered11();
        a.color = PZColor::grayColor70();
        return a;
    }();
    return &attributes;
}

const PZTextAttributes* RSSPaneDateCell::secondaryAttributesAlternate() const
{
    return primaryAttributesAlternate();
}

QPoint RSSPaneDateCell::primaryOffset() const
{
    return {3, m_large ? 7 : 1};
}

void RSSPaneDateCell::drawInterior(QPainter& painter, const QRect& frame)
{
    auto* item = dynamic_cast<ResultItem*>(cellObject());
    RSSLine* line = item ? item->rssLine() : nullptr;
    if (!line)
        return;
    m_isArticle = line->isRSSArticleLine();
    m_large = !m_isArticle && OBDefaults::kQueryViewMode() == 1;
    const QDateTime date = line->date();
    setPrimary(dateText(date));
    setSecondary(m_large && date.isValid() ? QLocale().toString(date.toLocalTime().time(), QLocale::ShortFormat)
                                           : QString());
    PZNode::drawInterior(painter, frame);
}

}  // namespace ombrelay
