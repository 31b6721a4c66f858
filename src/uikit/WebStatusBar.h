#pragma once

#include <QWidget>

namespace ombrelay {

// The strip under a pane that holds its status text: "StatusBar16" while its window is the active one,
// "StatusBar16Inactive" otherwise, across the full width from the top at the image's own height.
class WebStatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit WebStatusBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ombrelay
