#include "uikit/PZOutlineModel.h"

#include <QSet>

namespace ombrelay {

PZOutlineModel::PZOutlineModel(QObject* parent) : QAbstractItemModel(parent) {}

void PZOutlineModel::setColumns(const QStringList& titles, const QStringList& keys)
{
    beginResetModel();
    m_titles = titles;
    m_keys = keys;
    while (m_keys.size() < m_titles.size())
        m_keys.append(QString());
    m_childLocation.clear();
    m_children.clear();
    endResetModel();
}

void PZOutlineModel::append(const QList<PZOutlineObject*>& objects)
{
    QList<PZOutlineObject*> fresh;
    QSet<const PZOutlineObject*> seen;
    for (PZOutlineObject* object : objects) {
        if (object && !m_topRow.contains(object) && !seen.contains(object)) {
            fresh.append(object);
            seen.insert(object);
        }
    }
    if (fresh.isEmpty())
        return;
    const int first = int(m_objects.size());
    beginInsertRows({}, first, first + int(fresh.size()) - 1);
    noteSelectability(fresh);
    m_objects.append(fresh);
    renumberTopLevel();
    endInsertRows();
}

void PZOutlineModel::remove(const QList<PZOutlineObject*>& objects)
{
    QList<int> rows;
    for (const PZOutlineObject* object : objects) {
        const auto found = m_topRow.constFind(object);
        if (found != m_topRow.constEnd() && !rows.contains(*found))
            rows.append(*found);
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    // Contiguous runs, from the bottom up, so the rows above keep their numbers.
    for (int i = 0; i < rows.size();) {
        int last = rows[i];
        int first = last;
        while (i + 1 < rows.size() && rows[i + 1] == first - 1)
            first = rows[++i];
        ++i;
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row) {
            forgetDescendants(m_objects[row]);
            m_topRow.remove(m_objects[row]);
            m_unselectable.remove(m_objects[row]);
        }
        m_objects.remove(first, last - first + 1);
        renumberTopLevel();
        endRemoveRows();
    }
}

void PZOutlineModel::setObjects(const QList<PZOutlineObject*>& objects)
{
    beginResetModel();
    m_objects.clear();
    m_topRow.clear();
    m_childLocation.clear();
    m_children.clear();
    m_unselectable.clear();
    for (PZOutlineObject* object : objects) {
        if (object && !m_topRow.contains(object)) {
            m_topRow.insert(object, int(m_objects.size()));
            m_objects.append(object);
        }
    }
    noteSelectability(m_objects);
    endResetModel();
}

void PZOutlineModel::reloadChildren(PZOutlineObject* object)
{
    const QModelIndex parentIndex = indexForObject(object);
    if (!parentIndex.isValid())
        return;
    const int known = int(m_children.value(object).size());
    if (known > 0) {
        beginRemoveRows(parentIndex, 0, known - 1);
        forgetDescendants(object);
        m_children.insert(object, {});
        endRemoveRows();
    }
    const QList<PZOutlineObject*> now = childrenOf(object);
    if (!now.isEmpty()) {
        beginInsertRows(parentIndex, 0, int(now.size()) - 1);
        learnChildren(object, now);
        endInsertRows();
    } else {
        m_children.insert(object, {});
    }
}

QList<PZOutlineObject*> PZOutlineModel::childrenOf(const PZOutlineObject* object)
{
    QList<PZOutlineObject*> children;
    const int count = object->outlineChildCount();
    for (int row = 0; row < count; ++row) {
        if (PZOutlineObject* child = object->outlineChild(row))
            children.append(child);
    }
    return children;
}

// Asked while the objects are known to live: flags() never reads an object.
void PZOutlineModel::noteSelectability(const QList<PZOutlineObject*>& objects) const
{
    for (const PZOutlineObject* object : objects)
        if (!object->isSelectable())
            m_unselectable.insert(object);
}

void PZOutlineModel::learnChildren(PZOutlineObject* object, const QList<PZOutlineObject*>& children) const
{
    noteSelectability(children);
    m_children.insert(object, children);
    for (int row = 0; row < children.size(); ++row)
        m_childLocation.insert(children[row], {object, row});
}

void PZOutlineModel::renumberTopLevel()
{
    m_topRow.clear();
    m_topRow.reserve(m_objects.size());
    for (int row = 0; row < m_objects.size(); ++row)
        m_topRow.insert(m_objects[row], row);
}

void PZOutlineModel::forgetDescendants(const PZOutlineObject* object)
{
    QSet<const PZOutlineObject*> doomed;
    for (auto it = m_childLocation.constBegin(); it != m_childLocation.constEnd(); ++it) {
        for (const PZOutlineObject* up = it.value().parent; up; up = m_childLocation.value(up).parent) {
            if (up == object) {
                doomed.insert(it.key());
                break;
            }
        }
    }
    for (const PZOutlineObject* gone : doomed) {
        m_childLocation.remove(gone);
        m_children.remove(gone);
        m_unselectable.remove(gone);
    }
    m_children.remove(object);
}

PZOutlineModel::Location PZOutlineModel::locationOf(const PZOutlineObject* object) const
{
    const auto top = m_topRow.constFind(object);
    if (top != m_topRow.constEnd())
        return {nullptr, *top};
    return m_childLocation.value(object);
}

const QList<PZOutlineObject*>& PZOutlineModel::knownChildren(PZOutlineObject* object) const
{
    auto known = m_children.constFind(object);
    if (known == m_children.constEnd()) {
        learnChildren(object, childrenOf(object));
        known = m_children.constFind(object);
    }
    return *known;
}

QModelIndex PZOutlineModel::indexForObject(const PZOutlineObject* object, int column) const
{
    if (!object || column < 0 || column >= columnCount())
        return {};
    const Location location = locationOf(object);
    if (location.row < 0)
        return {};
    return createIndex(location.row, column, const_cast<PZOutlineObject*>(object));
}

PZOutlineObject* PZOutlineModel::objectAt(const QModelIndex& index)
{
    return index.isValid() ? index.data(ObjectRole).value<PZOutlineObject*>() : nullptr;
}

QModelIndex PZOutlineModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= columnCount())
        return {};
    if (!parent.isValid()) {
        if (row >= m_objects.size())
            return {};
        return createIndex(row, column, m_objects[row]);
    }
    const QList<PZOutlineObject*>& children = knownChildren(static_cast<PZOutlineObject*>(parent.internalPointer()));
    if (row >= children.size())
        return {};
    return createIndex(row, column, children[row]);
}

QModelIndex PZOutlineModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const Location location = locationOf(static_cast<const PZOutlineObject*>(child.internalPointer()));
    if (!location.parent)
        return {};
    return indexForObject(location.parent);
}

int PZOutlineModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(m_objects.size());
    if (parent.column() != 0)
        return 0;
    return int(knownChildren(static_cast<PZOutlineObject*>(parent.internalPointer())).size());
}

int PZOutlineModel::columnCount(const QModelIndex&) const
{
    return int(m_titles.size());
}

bool PZOutlineModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant PZOutlineModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    auto* object = static_cast<PZOutlineObject*>(index.internalPointer());
    if (role == ObjectRole)
        return QVariant::fromValue(object);
    if (role == Qt::DisplayRole && index.column() < m_keys.size())
        return object->outlineValue(m_keys[index.column()]);
    return {};
}

QVariant PZOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_titles.size())
        return m_titles[section];
    return {};
}

Qt::ItemFlags PZOutlineModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (m_unselectable.contains(static_cast<const PZOutlineObject*>(index.internalPointer())))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace ombrelay
