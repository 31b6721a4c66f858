#include "app/prefs/SearchSitesTableView.h"

#include "search/SearchSites.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>

namespace ombrelay {

namespace {

// Marks a drag as this table's own: the token of the table that started it.
const QString kDragSourceType = QStringLiteral("application/x-ombrelay-search-sites-table");

}  // namespace

bool SearchSitesTableView::canDragRow(int row) const
{
    return isUserSiteRow(row);
}

QMimeData* SearchSitesTableView::mimeDataForRow(int row) const
{
    auto* data = new QMimeData;
    data->setData(kDragType, QByteArray::number(row));
    data->setData(kDragSourceType, m_dragToken);
    return data;
}

int SearchSitesTableView::draggedRow(const QMimeData* data) const
{
    if (!data || data->data(kDragSourceType) != m_dragToken)
        return -1;
    const QByteArray text = data->data(kDragType);
    bool ok = false;
    const int row = text.size() <= 10 ? text.toInt(&ok) : -1;
    return ok && canDragRow(row) ? row : -1;
}

int SearchSitesTableView::proposedDropRow(const QPoint& position) const
{
    const int row = rowAt(indexAt(position));
    if (row < 0)
        return position.y() < 0 ? 0 : numberOfRows();
    const QRect rect = cellRect(row, 0);
    return position.y() < rect.center().y() ? row : row + 1;
}

bool SearchSitesTableView::validateDrop(const QMimeData* data, int proposedRow) const
{
    // Never among the built-in sites or at the separator.
    const int firstUserRow = int(SearchSites::systemSearchModules().size()) + 1;
    return draggedRow(data) >= 0 && proposedRow >= firstUserRow && proposedRow <= numberOfRows();
}

bool SearchSitesTableView::acceptDrop(const QMimeData* data, int row)
{
    if (!validateDrop(data, row))
        return false;
    const int source = draggedRow(data);
    if (source == row)
        return true;
    QList<QVariantMap> sites = SearchSites::instance().userModules();
    const int from = userModuleIndexFromIndex(source);
    if (from >= sites.size())
        return false;
    const QVariantMap site = sites.takeAt(from);
    // Taking the site out moved every later site up by one.
    const int to = userModuleIndexFromIndex(row) - (source < row ? 1 : 0);
    sites.insert(qBound(0, to, int(sites.size())), site);
    clearSelection();
    saveUserModules(sites);
    return true;
}

void SearchSitesTableView::startRowDrag(int row)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeDataForRow(row));
    const QRect rect = cellRect(row, 0).united(cellRect(row, 2));
    drag->setPixmap(viewport()->grab(rect));
    drag->setHotSpot(m_pressPosition - rect.topLeft());
    drag->exec(Qt::MoveAction);
}

void SearchSitesTableView::dragEnterEvent(QDragEnterEvent* event)
{
    if (draggedRow(event->mimeData()) < 0) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void SearchSitesTableView::dragMoveEvent(QDragMoveEvent* event)
{
    const int row = proposedDropRow(event->position().toPoint());
    const int shown = validateDrop(event->mimeData(), row) ? row : -1;
    if (shown != m_dropRow) {
        m_dropRow = shown;
        viewport()->update();
    }
    if (shown < 0) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void SearchSitesTableView::dragLeaveEvent(QDragLeaveEvent*)
{
    m_dropRow = -1;
    viewport()->update();
}

void SearchSitesTableView::dropEvent(QDropEvent* event)
{
    m_dropRow = -1;
    viewport()->update();
    if (!acceptDrop(event->mimeData(), proposedDropRow(event->position().toPoint()))) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

}  // namespace ombrelay
