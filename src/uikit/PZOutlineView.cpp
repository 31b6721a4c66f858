#include "uikit/PZOutlineView.h"

#include "kit/NotificationCenter.h"
#include "uikit/FilterSearchField.h"
#include "uikit/PZCellDelegate.h"
#include "uikit/PZCellTracker.h"
#include "uikit/PZOutlineModel.h"
#include "uikit/PZOutlineProxyModel.h"
#include "uikit/PZRoundTabView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QProxyStyle>
#include <QStyleOption>

namespace ombrelay {

namespace {

// Rows show the selection band only: no focus frame over the current row. A header's arrow points up
// for an ascending order, down for a descending one (the header view hands an ascending order to the
// style as SortDown, which styles draw as they please).
class OutlineStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_FrameFocusRect)
            return;
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        if (element == PE_IndicatorHeaderArrow && header && header->sortIndicator != QStyleOptionHeader::None) {
            const bool ascending = header->sortIndicator == QStyleOptionHeader::SortDown;
            QStyleOption arrow(*option);
            QProxyStyle::drawPrimitive(ascending ? PE_IndicatorArrowUp : PE_IndicatorArrowDown, &arrow, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

}  // namespace

PZOutlineView::PZOutlineView(QWidget* parent)
    : QTreeView(parent), m_model(new PZOutlineModel(this)), m_proxy(new PZOutlineProxyModel(this))
{
    m_proxy->setSourceModel(m_model);
    setModel(m_proxy);
    m_tracker = new PZCellTracker(this);

    setUniformRowHeights(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setIndentation(16);
    setFrameShape(QFrame::NoFrame);
    auto* style = new OutlineStyle;
    style->setParent(this);
    setStyle(style);
    header()->setStyle(style);
    // The view draws its own selection band; the style's would cover the grid.
    QPalette look = palette();
    look.setColor(QPalette::Highlight, Qt::transparent);
    setPalette(look);

    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    header()->setStretchLastSection(true);
    connect(header(), &QHeaderView::sectionClicked, this, &PZOutlineView::headerClicked);

    // A press being tracked is dropped when its object, or an ancestor of it, leaves the list.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex& parent, int first, int last) {
        for (QModelIndex index = m_model->indexForObject(m_tracker->trackedObject()); index.isValid(); index = index.parent()) {
            if (index.parent() == parent && index.row() >= first && index.row() <= last) {
                m_tracker->cancel();
                return;
            }
        }
    });
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, m_tracker, &PZCellTracker::cancel);
    const auto spanAll = [this] { spanGroupRows(0, m_proxy->rowCount() - 1); };
    connect(m_proxy, &QAbstractItemModel::modelReset, this, spanAll);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, spanAll);
    // A re-filter inserts rows block by block: each block spans its own rows only.
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
        if (!parent.isValid())
            spanGroupRows(first, last);
    });
}

void PZOutlineView::spanGroupRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const PZOutlineObject* object = objectAt(m_proxy->index(row, 0));
        if (object && isGroupItem(*object) && !isFirstColumnSpanned(row, {}))
            setFirstColumnSpanned(row, {}, true);
    }
}

PZOutlineView::~PZOutlineView()
{
    stopListening(this);
}

int PZOutlineView::addColumn(const QString& identifier, const QString& title, int width,
                             std::unique_ptr<PZTrackingCell> cell, std::optional<PZSortDescriptor> sortPrototype)
{
    m_columns.push_back({identifier, title, width, std::move(cell), std::move(sortPrototype)});
    QStringList titles, keys;
    for (const PZOutlineColumn& column : m_columns) {
        titles.append(column.title);
        keys.append(column.sortPrototype ? column.sortPrototype->key : column.identifier);
    }
    m_model->setColumns(titles, keys);
    const int index = int(m_columns.size()) - 1;
    setItemDelegateForColumn(index, new PZCellDelegate(this, index));
    for (int i = 0; i <= index; ++i)
        header()->resizeSection(i, m_columns[i].width);
    return index;
}

const PZOutlineColumn* PZOutlineView::outlineColumn(int column) const
{
    return column >= 0 && column < int(m_columns.size()) ? &m_columns[column] : nullptr;
}

int PZOutlineView::columnForSortDescriptor(const PZSortDescriptor& descriptor) const
{
    for (int i = 0; i < int(m_columns.size()); ++i) {
        if (m_columns[i].sortPrototype && m_columns[i].sortPrototype->sameKeyAndComparison(descriptor))
            return i;
    }
    return -1;
}

PZTrackingCell* PZOutlineView::cellFor(int column, const PZOutlineObject*) const
{
    const PZOutlineColumn* found = outlineColumn(column);
    return found ? found->cell.get() : nullptr;
}

void PZOutlineView::setUp(PZRoundTabView* roundTabView, FilterSearchField* filterField)
{
    m_roundTabView = roundTabView;
    m_filterField = filterField;
    if (m_roundTabView) {
        initTabView();
        listenForNotification(this, QStringLiteral("PZRoundTabViewSelectionDidChange"),
                              [this](const Notification&) { rebuildFilterPredicate(); }, m_roundTabView);
    }
    if (m_filterField)
        connect(m_filterField, &QLineEdit::textChanged, this, &PZOutlineView::rebuildFilterPredicate);
    if (m_roundTabView)
        m_roundTabView->selectButtonAtIndex(0);
    else
        rebuildFilterPredicate();
}

const QList<PZOutlineObject*>& PZOutlineView::objects() const
{
    return m_model->objects();
}

void PZOutlineView::addObject(PZOutlineObject* object)
{
    if (object)
        addObjects({object});
}

void PZOutlineView::addObjects(const QList<PZOutlineObject*>& objects)
{
    if (objects.isEmpty())
        return;
    m_model->append(objects);
    afterEdit();
}

void PZOutlineView::removeObjects(const QList<PZOutlineObject*>& objects)
{
    if (objects.isEmpty())
        return;
    m_model->remove(objects);
    afterEdit();
}

void PZOutlineView::setObjects(const QList<PZOutlineObject*>& objects)
{
    saveSelectedObjects();
    saveExpandedObjects();
    m_model->setObjects(objects);
    restoreExpandedObjects();
    restoreSelectedObjects();
    afterEdit();
}

void PZOutlineView::reloadChildren(PZOutlineObject* object)
{
    m_model->reloadChildren(object);
}

void PZOutlineView::afterEdit()
{
    reloadContent();
    rebuildTabView();
}

PZPredicateRef PZOutlineView::predicateForTypeIndex(int) const
{
    return PZPredicate::yes();
}

PZPredicateRef PZOutlineView::filterPredicate() const
{
    const QString text = m_filterField ? m_filterField->text().trimmed() : QString();
    return text.isEmpty() ? PZPredicate::yes() : PZPredicate::containing(text);
}

PZPredicateRef PZOutlineView::compoundFilterPredicateForTypeIndex(int index) const
{
    const PZPredicateRef yes = PZPredicate::yes();
    PZPredicateRef text = filterPredicate();
    PZPredicateRef type = predicateForTypeIndex(index);
    if (!text)
        text = yes;
    if (!type)
        type = yes;
    if (text == yes && type == yes)
        return yes;
    if (text == yes)
        return type;
    if (type == yes)
        return text;
    return PZPredicate::both(text, type);
}

PZPredicateRef PZOutlineView::currentFilterPredicate() const
{
    return m_proxy->filterPredicate();
}

void PZOutlineView::rebuildFilterPredicate()
{
    // One step: the selection is saved and let go quietly, the rows filtered, the selection given back
    // with one change. Rows leaving the list while selected would each send a change.
    saveSelectedObjects();
    const bool hadSelection = !m_selected.isEmpty();
    const PZOutlineObject* current = objectAt(currentIndex());
    if (hadSelection) {
        const QSignalBlocker quiet(selectionModel());
        selectionModel()->clear();
    }
    m_proxy->setFilterPredicate(compoundFilterPredicateForTypeIndex(m_roundTabView ? m_roundTabView->selectedIndex() : 0));
    rebuildTabView();
    restoreSelectedObjects();
    if (hadSelection && !selectionModel()->hasSelection())
        selectionChanged({}, {});  // every selected object was filtered away
    // The keys go on from the row they were on when it is still shown and selected.
    const QModelIndex kept = indexForObject(current);
    if (kept.isValid() && selectionModel()->isRowSelected(kept.row(), kept.parent())) {
        const QSignalBlocker quiet(selectionModel());
        selectionModel()->setCurrentIndex(kept, QItemSelectionModel::NoUpdate);
    }
    viewport()->update();
}

int PZOutlineView::countForPredicate(const PZPredicateRef& predicate) const
{
    if (!predicate || predicate == PZPredicate::yes())
        return int(objects().size());
    int count = 0;
    for (const PZOutlineObject* object : objects())
        count += predicate->evaluate(*object) ? 1 : 0;
    return count;
}

void PZOutlineView::rebuildTabView()
{
    if (isVisible())
        rebuildTabViewNow();
    else
        m_needsToRebuildTabView = true;
}

void PZOutlineView::rebuildTabViewNow()
{
    m_needsToRebuildTabView = false;
    if (!m_roundTabView)
        return;
    bool changed = false;
    for (int i = 0; i < m_roundTabView->buttonCount(); ++i) {
        const int count = countForPredicate(compoundFilterPredicateForTypeIndex(i));
        if (count != m_roundTabView->countAtIndex(i)) {
            m_roundTabView->setCount(count, i);
            changed = true;
        }
    }
    if (changed)
        m_roundTabView->relayoutViews();
}

int PZOutlineView::filteredCount()
{
    if (filterPredicate() == PZPredicate::yes())
        return countForPredicate(PZPredicate::yes());
    if (m_needsToRebuildTabView || !m_roundTabView)
        rebuildTabViewNow();
    return m_roundTabView ? m_roundTabView->countAtIndex(0) : countForPredicate(compoundFilterPredicateForTypeIndex(0));
}

void PZOutlineView::reloadContent()
{
    if (isVisible())
        reloadContentNow();
    else
        m_needsToReloadContent = true;
}

void PZOutlineView::reloadContentNow()
{
    saveSelectedObjects();
    m_proxy->rearrange();
    restoreSelectedObjects();
    m_needsToReloadContent = false;
}

void PZOutlineView::rearrangeObjects()
{
    m_needsToRearrangeObjects = true;
    if (isVisible())
        rearrangeObjectsNow();
}

void PZOutlineView::rearrangeObjectsNow()
{
    if (!m_needsToRearrangeObjects || !isVisible())
        return;
    m_needsToRearrangeObjects = false;
    saveExpandedObjects();
    saveSelectedObjects();
    m_proxy->rearrange();
    restoreSelectedObjects();
    restoreExpandedObjects();
}

void PZOutlineView::showEvent(QShowEvent* event)
{
    QTreeView::showEvent(event);
    if (m_needsToReloadContent)
        reloadContentNow();
    rearrangeObjectsNow();
    if (m_needsToRebuildTabView)
        rebuildTabViewNow();
}

bool PZOutlineView::selectFirstRow()
{
    for (QModelIndex index = model()->index(0, 0); index.isValid(); index = indexBelow(index)) {
        if (!(model()->flags(index) & Qt::ItemIsSelectable))
            continue;
        setCurrentIndex(index);
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
        return true;
    }
    return false;
}

void PZOutlineView::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier && (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
        if (event->key() == Qt::Key_Home)
            scrollToTop();
        else
            scrollToBottom();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void PZOutlineView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    emit selectionDidChange();
}

}  // namespace ombrelay
