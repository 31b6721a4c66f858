#pragma once

#include <QWidget>

namespace ombrelay {

// The overlay's framed box: a white rounded rim around the "DragBG" backdrop.
class DragOverlayFrame : public QWidget
{
    Q_OBJECT
public:
    explicit DragOverlayFrame(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
