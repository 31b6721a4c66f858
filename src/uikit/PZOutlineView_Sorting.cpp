#include "uikit/PZOutlineView.h"

#include "kit/Settings.h"
#include "uikit/PZOutlineModel.h"
#include "uikit/PZOutlineProxyModel.h"
#include "uikit/PZSortDescriptorTransformer.h"

#include <QHeaderView>
#include <QSet>
#include <QSignalBlocker>
#include <QVarLengthArray>
#include <algorithm>

namespace ombrelay {

const PZSortDescriptors& PZOutlineView::sortDescriptors() const
{
    return m_proxy->sortDescriptors();
}

void PZOutlineView::applySortDescriptors(const PZSortDescriptors& descriptors)
{
    const bool changed = descriptors != m_proxy->sortDescriptors();
    m_proxy->setSortDescriptors(descriptors);
    updateSortIndicator();
    if (changed) {
        if (!m_sortSettingKey.isEmpty())
            Settings::instance().setValue(m_sortSettingKey, storedSortDescriptors());
        emit sortDescriptorsChanged();
    }
}

void PZOutlineView::setSortDescriptors(const PZSortDescriptors& descriptors)
{
    saveSelectedObjects();
    applySortDescriptors(descriptors);
    restoreSelectedObjects();
}

void PZOutlineView::setSortDescriptorsFromClick(const PZSortDescriptors& descriptors)
{
    saveSelectedObjects();
    const PZSortDescriptors& current = sortDescriptors();
    if (!current.isEmpty() && !descriptors.isEmpty() && current.first().sameKeyAndComparison(descriptors.first())) {
        const int column = columnForSortDescriptor(descriptors.first());
        if (column >= 0 && descriptors.first().ascending == m_columns[column].sortPrototype->ascending) {
            // The third click on a column: back to list order.
            saveExpandedObjects();
            applySortDescriptors({});
            restoreExpandedObjects();
            restoreSelectedObjects();
            return;
        }
    }
    applySortDescriptors(descriptors);
    restoreSelectedObjects();
}

void PZOutlineView::headerClicked(int column)
{
    const PZOutlineColumn* clicked = outlineColumn(column);
    if (!clicked || !clicked->sortPrototype) {
        updateSortIndicator();
        return;
    }
    const PZSortDescriptors& current = sortDescriptors();
    const PZSortDescriptor first = !current.isEmpty() && current.first().sameKeyAndComparison(*clicked->sortPrototype)
                                       ? current.first().reversed()
                                       : *clicked->sortPrototype;
    PZSortDescriptors descriptors{first};
    for (const PZSortDescriptor& descriptor : current) {
        if (!descriptor.sameKeyAndComparison(first))
            descriptors.append(descriptor);
    }
    setSortDescriptorsFromClick(descriptors);
}

void PZOutlineView::updateSortIndicator()
{
    const PZSortDescriptors& descriptors = sortDescriptors();
    const int column = descriptors.isEmpty() ? -1 : columnForSortDescriptor(descriptors.first());
    header()->setSortIndicator(column, column >= 0 && !descriptors.first().ascending ? Qt::DescendingOrder
                                                                                      : Qt::AscendingOrder);
}

void PZOutlineView::restoreSortDescriptors(const QVariant& stored)
{
    PZSortDescriptors declared;
    for (const PZSortDescriptor& descriptor : PZSortDescriptorTransformer::transformedValue(stored)) {
        if (columnForSortDescriptor(descriptor) >= 0)
            declared.append(descriptor);
    }
    setSortDescriptors(declared);
}

QVariant PZOutlineView::storedSortDescriptors() const
{
    return PZSortDescriptorTransformer::reverseTransformedValue(sortDescriptors());
}

void PZOutlineView::bindSortDescriptorsToSetting(const QString& key)
{
    m_sortSettingKey.clear();
    restoreSortDescriptors(Settings::instance().value(key));
    m_sortSettingKey = key;
}

PZOutlineObject* PZOutlineView::objectAt(const QModelIndex& index) const
{
    return PZOutlineModel::objectAt(index);
}

QModelIndex PZOutlineView::indexForObject(const PZOutlineObject* object, int column) const
{
    return m_proxy->mapFromSource(m_model->indexForObject(object, column));
}

int PZOutlineView::levelOf(const QModelIndex& index) const
{
    int level = 0;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        ++level;
    return level;
}

QList<PZOutlineObject*> PZOutlineView::selectedObjects() const
{
    // Row order, from each row's path of row numbers (parents come before their children): no layout
    // is asked, so a selection of thousands is ordered at once.
    struct Row
    {
        QVarLengthArray<int, 4> path;
        PZOutlineObject* object;
    };
    std::vector<Row> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (PZOutlineObject* object = objectAt(index)) {
            Row row{{}, object};
            for (QModelIndex up = index; up.isValid(); up = up.parent())
                row.path.append(up.row());
            std::reverse(row.path.begin(), row.path.end());
            rows.push_back(std::move(row));
        }
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::lexicographical_compare(a.path.begin(), a.path.end(), b.path.begin(), b.path.end());
    });
    QList<PZOutlineObject*> found;
    found.reserve(qsizetype(rows.size()));
    for (const Row& row : rows)
        found.append(row.object);
    return found;
}

void PZOutlineView::selectObjects(const QList<PZOutlineObject*>& objects)
{
    QList<QModelIndex> rows;
    for (const PZOutlineObject* object : objects) {
        const QModelIndex index = indexForObject(object);
        if (index.isValid())
            rows.append(index);
    }
    selectRows(rows);
}

void PZOutlineView::selectRows(QList<QModelIndex> rows)
{
    const QModelIndex lead = rows.value(0);
    // Siblings share their internal id: sorted by it, then by row, they stand together in order.
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) {
        return std::pair(a.internalId(), a.row()) < std::pair(b.internalId(), b.row());
    });
    // Neighbouring rows of one parent make one range.
    QItemSelection selection;
    for (qsizetype first = 0; first < rows.size();) {
        qsizetype last = first;
        while (last + 1 < rows.size() && rows[last + 1].parent() == rows[first].parent()
               && rows[last + 1].row() == rows[last].row() + 1)
            ++last;
        selection.append(QItemSelectionRange(rows[first], rows[last].siblingAtColumn(m_proxy->columnCount() - 1)));
        first = last + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // The keys go on from the selection: the current row moves onto it unless it is there already.
    if (lead.isValid() && !selectionModel()->isRowSelected(currentIndex().row(), currentIndex().parent())) {
        const QSignalBlocker quiet(selectionModel());
        selectionModel()->setCurrentIndex(lead, QItemSelectionModel::NoUpdate);
    }
}

void PZOutlineView::saveSelectedObjects()
{
    m_selected = selectedObjects();
}

void PZOutlineView::restoreSelectedObjects()
{
    if (m_selected.isEmpty())
        return;
    const QSet<const PZOutlineObject*> wanted(m_selected.cbegin(), m_selected.cend());
    QList<QModelIndex> rows;
    for (QModelIndex row = m_proxy->index(0, 0); row.isValid() && rows.size() < wanted.size(); row = indexBelow(row)) {
        if (wanted.contains(objectAt(row)))
            rows.append(row);
    }
    QSet<QPersistentModelIndex> now;
    for (const QModelIndex& row : selectionModel()->selectedRows())
        now.insert(row);
    const QSet<QPersistentModelIndex> collected(rows.cbegin(), rows.cend());
    if (collected == now)
        return;
    // Objects that were all filtered away leave an empty selection.
    selectRows(rows);
}

void PZOutlineView::saveExpandedObjects()
{
    m_expanded.clear();
    for (QModelIndex row = m_proxy->index(0, 0); row.isValid(); row = indexBelow(row)) {
        if (isExpanded(row))
            m_expanded.append(objectAt(row));
    }
}

void PZOutlineView::restoreExpandedObjects()
{
    for (const PZOutlineObject* object : std::as_const(m_expanded)) {
        const QModelIndex index = indexForObject(object);
        if (index.isValid())
            expand(index);
    }
}

}  // namespace ombrelay
