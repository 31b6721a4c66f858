#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class QPainter;

namespace ombrelay {

class OverflowButton;
class PZSquareTabButton;
class PZViewController;

// The strip of square tabs over a main pane. Tabs share the width between 120 and 200 points each; those
// that do not fit are listed by the overflow button. Selecting a tab posts
// "PZSquareTabViewSelectionDidChange". Ctrl+W closes the selected tab, Ctrl+Shift+Left and Right cycle,
// unless the strip's window has a menu bar: its items carry those keys then.
class PZSquareTabView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kHeight = 26;
    static constexpr int kMinWidth = 120;
    static constexpr int kMaxWidth = 200;
    static constexpr int kOverflowWidth = 21;

    // Where the tabs go in a strip of `stripWidth`: the first `shown` tabs at `x` with `widths`.
    struct Layout
    {
        bool overflow = false;
        int shown = 0;
        QList<int> x;
        QList<int> widths;
    };
    static Layout layoutFor(int stripWidth, int tabCount);

    explicit PZSquareTabView(QWidget* parent = nullptr);
    ~PZSquareTabView() override;

    QList<PZSquareTabButton*> tabs() const { return m_tabs; }
    QList<PZSquareTabButton*> hiddenTabs() const;
    QList<PZSquareTabButton*> visibleTabs() const;
    OverflowButton* overflowButton() const { return m_overflowButton; }

    PZSquareTabButton* addTabWithController(PZViewController* controller);
    void newTab();
    void newTabWithURL(const QUrl& address, bool shouldSelect);
    // -1 selects none, as does an index past the end; the selection change is posted in every case.
    void selectButtonAtIndex(int index);
    void selectButton(PZSquareTabButton* button);
    int selectedIndex() const;
    PZSquareTabButton* selectedButton() const;
    void selectNextTab();
    void selectPreviousTab();
    void closeTab(PZSquareTabButton* button);
    // Only web tabs close.
    bool canCloseSelectedTab() const;
    void closeSelectedTab();
    void relayoutViews();

signals:
    // Closing left no tab.
    void lastTabClosed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Left of the selected tab, right of it, or the selected one.
    enum class Side { Left, Right, Selected };
    void paintTab(QPainter& painter, const PZSquareTabButton* tab, Side side, bool active) const;
    // The window counts as inactive while it is neither main nor key.
    bool isInActiveWindow() const;

    QList<PZSquareTabButton*> m_tabs;
    OverflowButton* m_overflowButton;
    int m_shown = 0;
};

}  // namespace ombrelay
