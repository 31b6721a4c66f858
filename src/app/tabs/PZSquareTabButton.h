#pragma once

#include "app/tabs/HighlightingButton.h"
#include "uikit/PZViewController.h"

#include <QPointer>

namespace ombrelay {

class DelayedProgressIndicator;
class TabActionButton;

// One tab of the strip. It owns its pane controller for the tab's lifetime, shows the controller's title,
// a close button while the mouse is over it, and a spinner while the controller loads. It selects on
// mouse-down.
class PZSquareTabButton : public HighlightingButton
{
    Q_OBJECT
public:
    static constexpr int kHeight = 22;

    PZSquareTabButton(PZViewController* controller, QWidget* parent);
    ~PZSquareTabButton() override;

    PZViewController* controller() const { return m_controller; }
    TabActionButton* actionButton() const { return m_actionButton; }
    DelayedProgressIndicator* progressIndicator() const { return m_progressIndicator; }
    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool selected) { m_isSelected = selected; }
    bool canClose() const;
    void setIsAnimating(bool animating);
    void setIsMouseOver(bool over) override;

signals:
    void pressedDown(ombrelay::PZSquareTabButton* button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<PZViewController> m_controller;
    TabActionButton* m_actionButton;
    DelayedProgressIndicator* m_progressIndicator;
    bool m_isSelected = false;
};

}  // namespace ombrelay
