#pragma once

#include <QToolButton>

namespace ombrelay {

class PZSquareTabView;

// The pull-down at the strip's right end: one item per tab the layout hid, the selected one checked.
class OverflowButton : public QToolButton
{
    Q_OBJECT
public:
    explicit OverflowButton(PZSquareTabView* tabView);

    PZSquareTabView* tabView() const { return m_tabView; }
    void rebuildMenu();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PZSquareTabView* m_tabView;
};

}  // namespace ombrelay
