#pragma once

#include <QAbstractButton>

namespace ombrelay {

// A button that knows whether the mouse is over it and redraws when that changes.
class HighlightingButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit HighlightingButton(QWidget* parent = nullptr);

    bool isMouseOver() const { return m_isMouseOver; }
    virtual void setIsMouseOver(bool over);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_isMouseOver = false;
};

}  // namespace ombrelay
