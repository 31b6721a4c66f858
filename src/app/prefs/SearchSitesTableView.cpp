#include "app/prefs/SearchSitesTableView.h"

#include "app/prefs/SearchSiteSheet.h"
#include "app/prefs/SearchSitesCheckboxCell.h"
#include "app/prefs/SearchSitesEditCell.h"
#include "app/prefs/SearchSitesNameCell.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "search/SearchSites.h"
#include "search/views/ResultArtwork.h"
#include "uikit/PZColor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QHideEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QUuid>

namespace ombrelay {

const QString SearchSitesTableView::kDragType = QStringLiteral("ShortcutsTableViewType");

const SearchSitesTableView::Row* SearchSitesTableView::rowOf(const PZOutlineObject* object)
{
    return dynamic_cast<const Row*>(object);
}

SearchSitesTableView::SearchSitesTableView(QWidget* parent)
    : PZOutlineView(parent), m_addSheet(new SearchSiteSheet(tr("Add Search Site"), tr("Add"), this)),
      m_editSheet(new SearchSiteSheet(tr("Edit Search Site"), tr("Save"), this)),
      m_dragToken(QUuid::createUuid().toByteArray())
{
    ResultArtwork::registerImages();  // "FaviconBackground"
    setObjectName(QStringLiteral("SearchSitesTableView"));
    addColumn(QStringLiteral("SearchSitesCheckboxCell"), tr("On"), 30, std::make_unique<SearchSitesCheckboxCell>());
    addColumn(QStringLiteral("SearchSitesNameCell"), tr("Search Site"), 300, std::make_unique<SearchSitesNameCell>());
    addColumn(QStringLiteral("SearchSitesEditCell"), QString(), 74, std::make_unique<SearchSitesEditCell>());
    setHeaderHidden(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Fixed);
    header()->setSectionResizeMode(1, QHeaderView::Stretch);
    header()->setSectionResizeMode(2, QHeaderView::Fixed);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::StyledPanel);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // Runs before the cell tracker's filter: a second click on a control is no click.
    viewport()->installEventFilter(this);
    setUp(nullptr, nullptr);

    connect(&SearchSites::instance(), &SearchSites::userModulesChanged, this, &SearchSitesTableView::reloadData);
    connect(&Settings::instance(), &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("kEnabledSystemModules"))
            viewport()->update();
    });
    listenForNotification(this, QStringLiteral("PZFaviconLoaderDidLoad"), [this](const Notification&) {
        viewport()->update();
    });
    connect(this, &PZOutlineView::selectionDidChange, this, &SearchSitesTableView::updateRemoveButton);
    connect(m_addSheet, &SearchSiteSheet::confirmed, this, &SearchSitesTableView::addDone);
    connect(m_editSheet, &SearchSiteSheet::confirmed, this, &SearchSitesTableView::editDone);
    reloadData();
}

SearchSitesTableView::~SearchSitesTableView()
{
    // The view lets go of the rows before they go.
    setObjects({});
}

void SearchSitesTableView::reloadData()
{
    const QList<QVariantMap>& builtIn = SearchSites::systemSearchModules();
    const QList<QVariantMap> user = SearchSites::instance().userModules();
    const int count = int(builtIn.size()) + (user.isEmpty() ? 0 : int(user.size()) + 1);
    const bool reshaped = count != numberOfRows();
    // Rows are kept by number, so the selection stays on its row across a reload.
    std::vector<std::unique_ptr<Row>> dropped;
    while (numberOfRows() > count) {
        dropped.push_back(std::move(m_rows.back()));
        m_rows.pop_back();
    }
    while (numberOfRows() < count)
        m_rows.push_back(std::make_unique<Row>());
    for (int r = 0; r < count; ++r) {
        Row& row = *m_rows[r];
        row.row = r;
        row.isSeparator = r == builtIn.size();
        row.isUserSite = r > builtIn.size();
        row.site = r < builtIn.size() ? builtIn[r] : row.isUserSite ? user[r - builtIn.size() - 1] : QVariantMap();
    }
    if (reshaped) {
        QList<PZOutlineObject*> objects;
        objects.reserve(count);
        for (const auto& row : m_rows)
            objects.append(row.get());
        setObjects(objects);
    }
    viewport()->update();
    updateRemoveButton();
}

QVariantMap SearchSitesTableView::objectAtIndex(int row) const
{
    return row >= 0 && row < numberOfRows() ? m_rows[row]->site : QVariantMap();
}

int SearchSitesTableView::userModuleIndexFromIndex(int row) const
{
    return row - 1 - int(SearchSites::systemSearchModules().size());
}

bool SearchSitesTableView::isUserSiteRow(int row) const
{
    return row >= 0 && row < numberOfRows() && m_rows[row]->isUserSite;
}

bool SearchSitesTableView::isSeparatorRow(int row) const
{
    return row >= 0 && row < numberOfRows() && m_rows[row]->isSeparator;
}

QRect SearchSitesTableView::cellRect(int row, int column) const
{
    if (row < 0 || row >= numberOfRows())
        return {};
    return visualRect(indexForObject(m_rows[row].get(), column));
}

void SearchSitesTableView::setRemoveButton(QAbstractButton* button)
{
    m_removeButton = button;
    updateRemoveButton();
}

void SearchSitesTableView::updateRemoveButton()
{
    if (m_removeButton)
        m_removeButton->setEnabled(isUserSiteRow(selectedRow()));
}

int SearchSitesTableView::selectedRow() const
{
    const QList<PZOutlineObject*> selected = selectedObjects();
    return selected.isEmpty() ? -1 : rowAt(indexForObject(selected.first()));
}

void SearchSitesTableView::selectRow(int row)
{
    if (row < 0 || row >= numberOfRows() || isSeparatorRow(row))
        clearSelection();
    else
        selectObjects({m_rows[row].get()});
}

void SearchSitesTableView::saveUserModules(const QList<QVariantMap>& sites)
{
    // The model reads the stored sites back, and the table follows it.
    SearchSites::instance().saveUserModules(sites);
}

int SearchSitesTableView::heightOfRow(const PZOutlineObject& object, int) const
{
    const Row* row = rowOf(&object);
    return row && row->isSeparator ? kSeparatorHeight : kRowHeight;
}

bool SearchSitesTableView::isGroupItem(const PZOutlineObject& object) const
{
    const Row* row = rowOf(&object);
    return row && row->isSeparator;
}

void SearchSitesTableView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const Row* row = rowOf(objectAt(index));
    if (!row || !row->isSeparator) {
        PZOutlineView::drawRow(painter, option, index);
        return;
    }
    const QRect rect(0, option.rect.y(), viewport()->width(), option.rect.height());
    painter->fillRect(QRect(rect.x() + 4, rect.y() + 8, rect.width() - 8, 1), PZColor::grayColor70());
}

void SearchSitesTableView::paintEvent(QPaintEvent* event)
{
    PZOutlineView::paintEvent(event);
    if (m_dropRow < 0 || numberOfRows() == 0)
        return;
    const int y = m_dropRow < numberOfRows() ? cellRect(m_dropRow, 0).top() : cellRect(numberOfRows() - 1, 0).bottom() + 1;
    QPainter painter(viewport());
    painter.fillRect(QRect(0, y - 1, viewport()->width(), 2), PZColor::alternateSelectedControlColor());
}

void SearchSitesTableView::hideEvent(QHideEvent* event)
{
    PZOutlineView::hideEvent(event);
    // Leaving the window (another pane shown, the window closed) drops the selection.
    if (!event->spontaneous())
        clearSelection();
}

QItemSelectionModel::SelectionFlags SearchSitesTableView::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    const Row* row = rowOf(objectAt(index));
    if (row && row->isSeparator)
        return QItemSelectionModel::NoUpdate;
    return PZOutlineView::selectionCommand(index, event);
}

QModelIndex SearchSitesTableView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex next = PZOutlineView::moveCursor(action, modifiers);
    const int separator = rowAt(next);
    if (!isSeparatorRow(separator))
        return next;
    // The separator is stepped over in the direction of travel.
    const int to = rowAt(currentIndex()) > separator ? separator - 1 : separator + 1;
    return to >= 0 && to < numberOfRows() ? indexForObject(m_rows[to].get(), next.column()) : currentIndex();
}

bool SearchSitesTableView::isOverControl(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    PZOutlineObject* object = objectAt(index);
    const PZTrackingCell* cell = object ? cellFor(index.column(), object) : nullptr;
    return cell && cell->shouldTrackMouseAt(position, visualRect(index), object);
}

bool SearchSitesTableView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == viewport() && event->type() == QEvent::MouseButtonDblClick
        && isOverControl(static_cast<QMouseEvent*>(event)->position().toPoint()))
        return true;
    return PZOutlineView::eventFilter(watched, event);
}

int SearchSitesTableView::rowAt(const QModelIndex& index) const
{
    const Row* row = rowOf(objectAt(index));
    return row ? row->row : -1;
}

void SearchSitesTableView::mousePressEvent(QMouseEvent* event)
{
    const int row = rowAt(indexAt(event->position().toPoint()));
    m_pressRow = event->button() == Qt::LeftButton && canDragRow(row) ? row : -1;
    m_pressPosition = event->position().toPoint();
    PZOutlineView::mousePressEvent(event);
}

void SearchSitesTableView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressRow >= 0 && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
        const int row = m_pressRow;
        m_pressRow = -1;
        startRowDrag(row);
        return;
    }
    PZOutlineView::mouseMoveEvent(event);
}

void SearchSitesTableView::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressRow = -1;
    PZOutlineView::mouseReleaseEvent(event);
}

void SearchSitesTableView::mouseDoubleClickEvent(QMouseEvent* event)
{
    PZOutlineView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    doubleClick(rowAt(indexAt(event->position().toPoint())));
}

}  // namespace ombrelay
