#pragma once

#include <QWidget>

namespace ombrelay {

// The transfers pane's top view: the filter bar over the list, with a one-pixel line along its top edge,
// darker while the window is active.
class DownloadsPaneView : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
