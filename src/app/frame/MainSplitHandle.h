#pragma once

#include <QSplitterHandle>

namespace ombrelay {

class MainSplitView;

// The split view's 1-pixel divider: painted grey with a darker point at its top, dragged through the
// split view's constraint, storing the width once the drag ends.
class MainSplitHandle : public QSplitterHandle
{
    Q_OBJECT
public:
    explicit MainSplitHandle(MainSplitView* splitView);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    MainSplitView* m_splitView;
    qreal m_grabOffset = 0;
    bool m_dragging = false;
};

}  // namespace ombrelay
