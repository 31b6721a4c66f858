#pragma once

#include <QWidget>

namespace ombrelay {

// The toolbar's colour continued into a pane (blue-grey in the active window, grey otherwise), with a
// one-point line along its bottom edge.
class ToolbarFillerView : public QWidget
{
    Q_OBJECT
public:
    explicit ToolbarFillerView(QWidget* parent = nullptr);

    static QColor fillColor(bool active);
    static QColor lineColor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace ombrelay
