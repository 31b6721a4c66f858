#pragma once

#include <QWidget>

namespace ombrelay {

// The dark gradient behind a pane's bottom bar ("Gradient106", or "Gradient106Alternate" in an inactive
// window), drawn across the full width from the top at the image's own height.
class DarkBackgroundView : public QWidget
{
    Q_OBJECT
public:
    explicit DarkBackgroundView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace ombrelay
