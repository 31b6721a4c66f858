#pragma once

#include <QWidget>

namespace ombrelay {

class MainSplitView;

// The drag handle at the bottom of the sidebar: dragging it moves the split view's divider exactly as
// dragging the divider does.
class SideResizeWidget : public QWidget
{
    Q_OBJECT
public:
    explicit SideResizeWidget(MainSplitView* splitView, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    MainSplitView* m_splitView;
    qreal m_dragStart = 0;
    float m_initialLeftWidth = 0;
    bool m_dragging = false;
};

}  // namespace ombrelay
