#pragma once

#include <QList>
#include <QPointer>
#include <QRegion>
#include <QTreeView>
#include <memory>
#include <optional>
#include <vector>

#include "uikit/FilterSearchField.h"
#include "uikit/PZOutlineColumn.h"
#include "uikit/PZPredicate.h"
#include "uikit/PZRoundTabView.h"
#include "uikit/PZSortDescriptor.h"

namespace ombrelay {

class FilterSearchField;
class PZCellTracker;
class PZOutlineModel;
class PZOutlineObject;
class PZOutlineProxyModel;
class PZRoundTabView;

// The base of the list views (transfers, search results, feed entries). It shows a list of objects as
// the top-level rows of an outline (children come from the objects), filters them through the filter
// buttons and the search field, keeps the count of matching objects on every button, keeps the
// selection and the expanded rows by object across re-sorts, sorts by a three-click rule per column
// header (ascending -> descending -> list order), and draws its own selection and column grid. Work
// that needs the view on screen waits while it is hidden and runs when it is shown.
//
// Subclasses add columns and filter buttons (initTabView, predicateForTypeIndex) before setUp().
class PZOutlineView : public QTreeView
{
    Q_OBJECT
public:
    explicit PZOutlineView(QWidget* parent = nullptr);
    ~PZOutlineView() override;

    // Columns, in order, before setUp(); answers the column index.
    int addColumn(const QString& identifier, const QString& title, int width, std::unique_ptr<PZTrackingCell> cell,
                  std::optional<PZSortDescriptor> sortPrototype = std::nullopt);
    int outlineColumnCount() const { return int(m_columns.size()); }
    const PZOutlineColumn* outlineColumn(int column) const;
    // The first column whose sort prototype has the descriptor's key and comparison; -1 when none.
    int columnForSortDescriptor(const PZSortDescriptor& descriptor) const;
    // The cell drawing the object's row in a column; subclasses may answer another for some rows.
    virtual PZTrackingCell* cellFor(int column, const PZOutlineObject* object) const;

    // Wires the filter bar (either may be null); with a tab view, calls initTabView and selects button 0.
    void setUp(PZRoundTabView* roundTabView, FilterSearchField* filterField);
    PZRoundTabView* roundTabView() const { return m_roundTabView; }
    FilterSearchField* filterField() const { return m_filterField; }

    // The object list (list order, never sorted).
    const QList<PZOutlineObject*>& objects() const;
    virtual void addObject(PZOutlineObject* object);
    virtual void addObjects(const QList<PZOutlineObject*>& objects);
    virtual void removeObjects(const QList<PZOutlineObject*>& objects);
    virtual void setObjects(const QList<PZOutlineObject*>& objects);
    // The object's children changed.
    void reloadChildren(PZOutlineObject* object);

    // Filtering. initTabView adds the filter buttons, index 0 the unfiltered one.
    virtual void initTabView() {}
    // The predicate of a filter button; the base answers the yes predicate.
    virtual PZPredicateRef predicateForTypeIndex(int index) const;
    // The search field's text, trimmed, as a plain case-insensitive substring of the objects' filter
    // text; the yes predicate when it is empty.
    virtual PZPredicateRef filterPredicate() const;
    PZPredicateRef compoundFilterPredicateForTypeIndex(int index) const;
    PZPredicateRef currentFilterPredicate() const;
    virtual void rebuildFilterPredicate();
    // Objects of the whole list that pass the predicate.
    virtual int countForPredicate(const PZPredicateRef& predicate) const;
    virtual void rebuildTabView();
    // Objects matching the search text, whatever button is selected.
    int filteredCount();

    // Sorting.
    const PZSortDescriptors& sortDescriptors() const;
    // Applied as given (code, restored settings).
    void setSortDescriptors(const PZSortDescriptors& descriptors);
    // The stored form of the settings; only keys a column declares are applied.
    void restoreSortDescriptors(const QVariant& stored);
    QVariant storedSortDescriptors() const;
    // Restores the order stored under a settings key and stores every change there.
    void bindSortDescriptorsToSetting(const QString& key);
    void rearrangeObjects();
    void reloadContent();

    // Rows.
    PZOutlineObject* objectAt(const QModelIndex& index) const;
    // The object's row in the view (itemForRepresentedObject); invalid when it is not shown.
    QModelIndex indexForObject(const PZOutlineObject* object, int column = 0) const;
    int levelOf(const QModelIndex& index) const;
    // The selected rows' objects in row order.
    QList<PZOutlineObject*> selectedObjects() const;
    // Selects the objects' rows alone; the current row (where the arrow keys start) moves to the first.
    void selectObjects(const QList<PZOutlineObject*>& objects);
    // Selects the first row that can be selected (under a group row, its first child) alone and shows
    // it; false when there is none.
    bool selectFirstRow();
    void saveSelectedObjects();
    void restoreSelectedObjects();
    void saveExpandedObjects();
    void restoreExpandedObjects();

    virtual int heightOfRow(const PZOutlineObject& object, int level) const { return 17; }
    // Group rows span the whole row (the first column's cell draws it) and carry no column separators.
    virtual bool isGroupItem(const PZOutlineObject& object) const { return false; }
    // The view has the focus and draws in the active style.
    bool isFirstResponder() const;
    quint64 animationOffset() const { return m_animationOffset; }

    PZOutlineModel* objectModel() const { return m_model; }
    PZOutlineProxyModel* arrangedModel() const { return m_proxy; }
    PZCellTracker* cellTracker() const { return m_tracker; }
    // Whether a cell at `rect` is to be drawn in the paint under way: a few cells made out of date (an
    // animation) draw only themselves, not every cell of their rows.
    bool needsToDraw(const QRect& rect) const { return m_paintRegion.isEmpty() || m_paintRegion.intersects(rect); }

    // The grid grey (228/255).
    static QColor gridColor();

signals:
    void selectionDidChange();
    void sortDescriptorsChanged();

protected:
    // The three-click rule for a sort change made by a header click.
    void setSortDescriptorsFromClick(const PZSortDescriptors& descriptors);
    void headerClicked(int column);
    void setAnimationOffset(quint64 offset) { m_animationOffset = offset; }

    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    // Home and End scroll to the top and the bottom; the selection stays.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void afterEdit();
    // One selection change for the rows; the current row goes to the first one unless it is selected.
    void selectRows(QList<QModelIndex> rows);
    void spanGroupRows(int first, int last);
    void reloadContentNow();
    void rearrangeObjectsNow();
    void rebuildTabViewNow();
    void applySortDescriptors(const PZSortDescriptors& descriptors);
    void updateSortIndicator();
    void drawColumnSeparators(QPainter& painter, const QColor& color, const QRect& rect, bool footer) const;
    QColor selectionColor() const;
    QModelIndex lastVisibleIndex() const;

    std::vector<PZOutlineColumn> m_columns;
    PZOutlineModel* m_model;
    PZOutlineProxyModel* m_proxy;
    PZCellTracker* m_tracker;
    // Weak: the pane may destroy its tabs and field before its list.
    QPointer<PZRoundTabView> m_roundTabView;
    QPointer<FilterSearchField> m_filterField;
    QList<PZOutlineObject*> m_selected;
    QList<PZOutlineObject*> m_expanded;
    QString m_sortSettingKey;
    bool m_needsToRearrangeObjects = false;
    bool m_needsToReloadContent = false;
    bool m_needsToRebuildTabView = false;
    quint64 m_animationOffset = 0;
    QRegion m_paintRegion;  // during a paint, the region it draws
};

}  // namespace ombrelay
