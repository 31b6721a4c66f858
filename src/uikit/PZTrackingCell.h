#pragma once

#include <QList>
#include <QPainter>
#include <QRect>

namespace ombrelay {

class PZOutlineObject;

// What a cell is told for one draw: the row's object and how the row stands.
struct PZCellState
{
    PZOutlineObject* object = nullptr;
    QWidget* view = nullptr;            // the host list view; null when drawn elsewhere
    bool highlighted = false;           // the row is selected
    bool hostIsFirstResponder = false;  // the host has the focus in an active window
    bool windowIsActive = false;
    int activeTrackingRect = -1;        // the control drawn pressed; -1 none
};

// A painter object drawing the cells of one column. It owns a few clickable control rectangles; the
// host view's tracker (PZCellTracker) routes a left press over one of them to the cell instead of
// selecting the row, shows it pressed while the pointer stays over it, and calls performAction with
// the row's object when the button goes up over the same control.
class PZTrackingCell
{
public:
    virtual ~PZTrackingCell() = default;

    void draw(QPainter& painter, const QRect& frame, const PZCellState& state);

    // The control rectangles of the object's row drawn in `frame` (view coordinates); index = position.
    virtual QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const { return {}; }
    virtual void performAction(PZOutlineObject* object, QWidget* view) {}
    // A click on the control at `rect`; cells with one control keep to performAction.
    virtual void performActionOnRect(int rect, PZOutlineObject* object, QWidget* view) { performAction(object, view); }

    // The first control rectangle holding the point; -1 when none does.
    int trackingRectAt(const QPoint& point, const QRect& frame, PZOutlineObject* object) const;
    bool shouldTrackMouseAt(const QPoint& point, const QRect& frame, PZOutlineObject* object) const
    {
        return trackingRectAt(point, frame, object) >= 0;
    }

    const PZCellState& state() const { return m_state; }
    PZOutlineObject* cellObject() const { return m_state.object; }
    int activeTrackingRect() const { return m_state.activeTrackingRect; }

protected:
    virtual void drawInterior(QPainter& painter, const QRect& frame) {}

private:
    PZCellState m_state;
};

}  // namespace ombrelay
