#include "uikit/PZOutlineProxyModel.h"

#include "uikit/PZOutlineModel.h"

namespace ombrelay {

PZOutlineProxyModel::PZOutlineProxyModel(QObject* parent) : QSortFilterProxyModel(parent), m_filter(PZPredicate::yes())
{
    setDynamicSortFilter(true);
}

void PZOutlineProxyModel::setFilterPredicate(PZPredicateRef predicate)
{
    m_filter = predicate ? std::move(predicate) : PZPredicate::yes();
    invalidateFilter();
}

void PZOutlineProxyModel::setSortDescriptors(const PZSortDescriptors& descriptors)
{
    m_descriptors = descriptors;
    if (m_descriptors.isEmpty())
        sort(-1);
    else if (sortColumn() != 0)
        sort(0, Qt::AscendingOrder);
    else
        invalidate();
}

void PZOutlineProxyModel::rearrange()
{
    invalidate();
}

bool PZOutlineProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (sourceParent.isValid())
        return true;
    const PZOutlineObject* object = PZOutlineModel::objectAt(sourceModel()->index(sourceRow, 0, sourceParent));
    return object && m_filter->evaluate(*object);
}

bool PZOutlineProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const PZOutlineObject* a = PZOutlineModel::objectAt(left);
    const PZOutlineObject* b = PZOutlineModel::objectAt(right);
    if (!a || !b)
        return false;
    return compareObjects(m_descriptors, *a, *b) < 0;
}

}  // namespace ombrelay
