#pragma once

#include <QWidget>

namespace ombrelay {

class FilterSearchField;
class PZRoundTabView;

// The gradient bar behind the filter buttons: blue in the active style, grey otherwise.
class FilterBackground : public QWidget
{
    Q_OBJECT
public:
    explicit FilterBackground(QWidget* parent = nullptr);
    // The filter bar over a list: the filter buttons on the left, the filter field (placeholder "Filter",
    // at most 200 wide) on the right.
    static FilterBackground* barWith(PZRoundTabView* tabView, FilterSearchField* filterField);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace ombrelay
