#include "uikit/PZCellTracker.h"

#include "uikit/PZOutlineView.h"
#include "uikit/PZTrackingCell.h"

#include <QMouseEvent>
#include <utility>

namespace ombrelay {

PZCellTracker::PZCellTracker(PZOutlineView* view) : QObject(view), m_view(view)
{
    view->viewport()->installEventFilter(this);
}

int PZCellTracker::activeTrackingRectFor(const PZOutlineObject* object, int column) const
{
    return object && object == m_object && column == m_column ? m_activeTrackingRect : -1;
}

void PZCellTracker::cancel()
{
    if (!m_object)
        return;
    m_object = nullptr;
    m_column = m_initialTrackingRect = m_activeTrackingRect = -1;
    m_view->viewport()->update();
}

PZCellTracker::Hit PZCellTracker::hitAt(const QPoint& position) const
{
    const QModelIndex index = m_view->indexAt(position);
    PZOutlineObject* object = m_view->objectAt(index);
    PZTrackingCell* cell = object ? m_view->cellFor(index.column(), object) : nullptr;
    if (!cell)
        return {};
    return {object, index.column(), cell->trackingRectAt(position, m_view->visualRect(index), object)};
}

bool PZCellTracker::press(const QPoint& position)
{
    const Hit hit = hitAt(position);
    if (hit.rect < 0)
        return false;
    m_object = hit.object;
    m_column = hit.column;
    m_initialTrackingRect = m_activeTrackingRect = hit.rect;
    redisplay();
    return true;
}

int PZCellTracker::controlAt(const QPoint& position) const
{
    const QModelIndex index = m_view->indexForObject(m_object, m_column);
    if (!index.isValid())
        return -1;
    PZTrackingCell* cell = m_view->cellFor(m_column, m_object);
    return cell ? cell->trackingRectAt(position, m_view->visualRect(index), m_object) : -1;
}

void PZCellTracker::redisplay()
{
    m_view->viewport()->update();
}

bool PZCellTracker::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return m_object != nullptr;  // another button while tracking changes nothing
        if (m_object)
            return true;
        m_pairTaken = press(mouse->position().toPoint());
        return m_pairTaken;
    }
    case QEvent::MouseButtonDblClick: {
        // The second click of a pair whose first a control took is swallowed, with its release, even
        // when the control has gone from under the pointer; over a control it is swallowed too.
        if (m_object)
            return true;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        m_swallowRelease = std::exchange(m_pairTaken, false) || hitAt(mouse->position().toPoint()).rect >= 0;
        return m_swallowRelease;
    }
    case QEvent::MouseMove: {
        if (!m_object)
            return false;
        const int hit = controlAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        const int active = hit == m_initialTrackingRect ? m_initialTrackingRect : -1;
        if (active != m_activeTrackingRect) {
            m_activeTrackingRect = active;
            redisplay();
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_object)
            return mouse->button() == Qt::LeftButton && std::exchange(m_swallowRelease, false);
        if (mouse->button() != Qt::LeftButton)
            return true;
        PZOutlineObject* object = m_object;
        const int column = m_column;
        const int rect = m_initialTrackingRect;
        const bool fire = controlAt(mouse->position().toPoint()) == rect;
        cancel();
        if (fire) {
            if (PZTrackingCell* cell = m_view->cellFor(column, object))
                cell->performActionOnRect(rect, object, m_view);
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

}  // namespace ombrelay
