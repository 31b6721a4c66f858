#pragma once

#include <QWidget>

namespace ombrelay {

// The one-point line under the toolbar, along the top of a main pane.
class ToolbarLine : public QWidget
{
    Q_OBJECT
public:
    static const QColor& lineColor();

    explicit ToolbarLine(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
