#pragma once

#include <QWidget>
#include <functional>

namespace ombrelay {

class MainSplitView;
class SideResizeWidget;

// The status strip at the bottom of the sidebar, holding the sidebar's resize handle. It alone sets
// the width of the toolbar's search field: its own width less 21 when the toolbar shows icons and
// labels (display mode 1), else less 19.
class SideStatusView : public QWidget
{
    Q_OBJECT
public:
    explicit SideStatusView(MainSplitView* splitView, QWidget* parent = nullptr);

    static int searchFieldWidth(int stripWidth, int displayMode);
    // The toolbar's display mode (1, 2 or 3); 2 when none is given.
    void setDisplayModeProvider(std::function<int()> provider) { m_displayMode = std::move(provider); }
    SideResizeWidget* resizeWidget() const { return m_resizeWidget; }
    void updateSearchFieldWidth();

signals:
    void searchFieldWidthChanged(int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    SideResizeWidget* m_resizeWidget;
    std::function<int()> m_displayMode;
};

}  // namespace ombrelay
