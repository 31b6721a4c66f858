#pragma once

#include <QSortFilterProxyModel>

#include "uikit/PZPredicate.h"
#include "uikit/PZSortDescriptor.h"

namespace ombrelay {

// The arranged rows of an outline view: the top-level objects that pass the filter predicate, sorted by
// the sort descriptors (children are sorted alike, never filtered). No descriptors: list order.
class PZOutlineProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit PZOutlineProxyModel(QObject* parent = nullptr);

    PZPredicateRef filterPredicate() const { return m_filter; }
    void setFilterPredicate(PZPredicateRef predicate);

    const PZSortDescriptors& sortDescriptors() const { return m_descriptors; }
    void setSortDescriptors(const PZSortDescriptors& descriptors);

    // Filters and sorts again (objects' values changed).
    void rearrange();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    PZPredicateRef m_filter;
    PZSortDescriptors m_descriptors;
};

}  // namespace ombrelay
