#pragma once

#include <QWidget>

class QToolButton;

namespace ombrelay {

class MainWebView;

// Back and forward as one control, enabled by what the page in front can do.
class BackForwardButton : public QWidget
{
    Q_OBJECT
public:
    explicit BackForwardButton(QWidget* parent = nullptr);

    QToolButton* segment(int index) const { return index == 0 ? m_back : m_forward; }
    void refresh(const MainWebView* view);

private:
    QToolButton* m_back;
    QToolButton* m_forward;
};

}  // namespace ombrelay
