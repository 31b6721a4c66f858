#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include "uikit/PZOutlineObject.h"

Q_DECLARE_METATYPE(ombrelay::PZOutlineObject*)

namespace ombrelay {

// The object list of an outline view as a tree model: the objects as top-level rows in list order,
// each object's children below it. Every index carries its object (ObjectRole). Child counts are
// remembered as the views learnt them, so a change of children is told through reloadChildren().
class PZOutlineModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Role { ObjectRole = Qt::UserRole + 1 };

    explicit PZOutlineModel(QObject* parent = nullptr);

    // One column per key; a column's display value is the object's outlineValue under its key.
    void setColumns(const QStringList& titles, const QStringList& keys);

    const QList<PZOutlineObject*>& objects() const { return m_objects; }
    // Objects already listed and null objects are skipped.
    void append(const QList<PZOutlineObject*>& objects);
    void remove(const QList<PZOutlineObject*>& objects);
    void setObjects(const QList<PZOutlineObject*>& objects);
    void reloadChildren(PZOutlineObject* object);

    QModelIndex indexForObject(const PZOutlineObject* object, int column = 0) const;
    static PZOutlineObject* objectAt(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Location
    {
        PZOutlineObject* parent = nullptr;
        int row = -1;
    };
    Location locationOf(const PZOutlineObject* object) const;
    // The children as the views know them, learnt on first need (so they are found by object before a
    // view asked for their rows) and kept until reloadChildren.
    const QList<PZOutlineObject*>& knownChildren(PZOutlineObject* object) const;
    void learnChildren(PZOutlineObject* object, const QList<PZOutlineObject*>& children) const;
    static QList<PZOutlineObject*> childrenOf(const PZOutlineObject* object);
    void noteSelectability(const QList<PZOutlineObject*>& objects) const;
    void renumberTopLevel();
    void forgetDescendants(const PZOutlineObject* object);

    QList<PZOutlineObject*> m_objects;
    QStringList m_titles;
    QStringList m_keys;
    QHash<const PZOutlineObject*, int> m_topRow;
    mutable QHash<const PZOutlineObject*, Location> m_childLocation;
    mutable QHash<const PZOutlineObject*, QList<PZOutlineObject*>> m_children;
    mutable QSet<const PZOutlineObject*> m_unselectable;  // group rows
};

}  // namespace ombrelay
