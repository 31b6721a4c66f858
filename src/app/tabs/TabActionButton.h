#pragma once

#include "app/tabs/HighlightingButton.h"

namespace ombrelay {

// The close button at a tab's left end. Style 0 closes the tab; style 2 hides the button, so the tab
// cannot close (search-results and feed tabs).
class TabActionButton : public HighlightingButton
{
    Q_OBJECT
public:
    static constexpr int kClose = 0;
    static constexpr int kHidden = 2;

    explicit TabActionButton(QWidget* parent = nullptr);

    int style() const { return m_style; }
    void setStyle(int style);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void action();

    int m_style = kClose;
};

}  // namespace ombrelay
