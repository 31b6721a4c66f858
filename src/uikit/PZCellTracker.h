#pragma once

#include <QObject>
#include <QPoint>

namespace ombrelay {

class PZOutlineObject;
class PZOutlineView;

// Tracks a left press over a cell's control rectangle in an outline view (an event filter on its
// viewport). The press is kept by row OBJECT, not row number: while the button is held the control is
// drawn pressed only when the pointer is over that control of the object's current row, and the release
// fires the cell's action once, with that object, when it comes over the same control. Nothing fires
// when the object left the list in between. Presses elsewhere go on to the view (selection); a double
// click whose first click a control took never does, whatever lies under its second.
class PZCellTracker : public QObject
{
    Q_OBJECT
public:
    explicit PZCellTracker(PZOutlineView* view);

    bool isTracking() const { return m_object != nullptr; }
    PZOutlineObject* trackedObject() const { return m_object; }
    // The control to draw pressed in a cell; -1 for every cell but the tracked one.
    int activeTrackingRectFor(const PZOutlineObject* object, int column) const;
    // Drops the press when the object (or an ancestor of it) leaves the view.
    void cancel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Hit
    {
        PZOutlineObject* object = nullptr;
        int column = -1;
        int rect = -1;
    };
    // The control rectangle of a tracking cell under the point; rect -1 when none.
    Hit hitAt(const QPoint& position) const;
    bool press(const QPoint& position);
    // The control under the point in the tracked object's current row; -1 when none or gone.
    int controlAt(const QPoint& position) const;
    void redisplay();

    PZOutlineView* m_view;
    PZOutlineObject* m_object = nullptr;
    int m_column = -1;
    int m_initialTrackingRect = -1;
    int m_activeTrackingRect = -1;
    bool m_pairTaken = false;       // the last left press went to a control
    bool m_swallowRelease = false;  // the release of a swallowed double click is the view's no more
};

}  // namespace ombrelay
