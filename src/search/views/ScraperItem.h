#pragma once

#include "search/SearchSiteScraper.h"
#include "uikit/PZOutlineObject.h"
#include "uikit/PZPredicate.h"

#include <QList>
#include <QPointer>

namespace ombrelay {

class ResultItem;

// The group row of one search site in a grouped results list: its children are the site's result rows
// that pass the list's filter, in the site's order. Never selected; the list keeps it while the site's
// scraper is current.
class ScraperItem : public PZOutlineObject
{
public:
    explicit ScraperItem(SearchSiteScraper* scraper) : m_scraper(scraper) {}

    SearchSiteScraper* scraper() const { return m_scraper; }

    // Every result row of the site, in its order (not owned), and the filter that chooses the children.
    void setItems(const QList<ResultItem*>& items);
    const QList<ResultItem*>& items() const { return m_items; }
    void arrange(const PZPredicateRef& filter);
    const QList<ResultItem*>& arrangedItems() const { return m_arranged; }
    // Rows of the site that pass `predicate`, whatever the filter.
    int countForPredicate(const PZPredicateRef& predicate) const;

    int outlineChildCount() const override { return int(m_arranged.size()); }
    PZOutlineObject* outlineChild(int index) const override;
    bool hasArrangedObjects() const override { return !m_arranged.isEmpty(); }
    bool isSelectable() const override { return false; }

private:
    QPointer<SearchSiteScraper> m_scraper;
    QList<ResultItem*> m_items;
    QList<ResultItem*> m_arranged;
    PZPredicateRef m_filter = PZPredicate::yes();
};

}  // namespace ombrelay
