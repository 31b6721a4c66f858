#pragma once

#include <QWidget>

namespace ombrelay {

// The gradient bar behind the filter buttons: blue in the active style, grey otherwise.
class FilterBackground : public QWidget
{
    Q_OBJECT
public:
    explicit FilterBackground(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace ombrelay
