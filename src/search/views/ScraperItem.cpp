#include "search/views/ScraperItem.h"

#include "search/views/ResultItem.h"

namespace ombrelay {

void ScraperItem::setItems(const QList<ResultItem*>& items)
{
    m_items = items;
    arrange(m_filter);
}

void ScraperItem::arrange(const PZPredicateRef& filter)
{
    m_filter = filter ? filter : PZPredicate::yes();
    m_arranged.clear();
    for (ResultItem* item : std::as_const(m_items))
        if (m_filter->evaluate(*item))
            m_arranged.append(item);
}

int ScraperItem::countForPredicate(const PZPredicateRef& predicate) const
{
    if (!predicate || predicate == PZPredicate::yes())
        return int(m_items.size());
    int count = 0;
    for (const ResultItem* item : m_items)
        count += predicate->evaluate(*item) ? 1 : 0;
    return count;
}

PZOutlineObject* ScraperItem::outlineChild(int index) const
{
    return index >= 0 && index < m_arranged.size() ? m_arranged[index] : nullptr;
}

}  // namespace ombrelay
