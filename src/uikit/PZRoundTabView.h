#pragma once

#include <QList>
#include <QWidget>

namespace ombrelay {

class PZRoundTabButton;

// The row of filter buttons above a list view; button index = filter type index. Selecting a button
// posts "PZRoundTabViewSelectionDidChange" with the tab view as object.
class PZRoundTabView : public QWidget
{
    Q_OBJECT
public:
    static constexpr qint64 NotFound = -1;

    explicit PZRoundTabView(QWidget* parent = nullptr);

    void addRoundButtonWithTitle(const QString& title);
    int buttonCount() const { return int(m_buttons.size()); }
    // Null past the last button.
    PZRoundTabButton* buttonAt(int index) const;

    // Sets a count without laying the row out again (the owner calls relayoutViews); other indexes
    // are ignored.
    void setCount(int count, int index);
    int countAtIndex(int index) const;
    // Selects the button at the index (past the last one: none), unless the index is NotFound or
    // negative; posts the notification in every case.
    void selectButtonAtIndex(qint64 index);
    int selectedIndex() const;
    // Titles from the buttons' names and counts; buttons 2 apart from x = 6, 3 above the bottom edge.
    void relayoutViews();

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<PZRoundTabButton*> m_buttons;
};

}  // namespace ombrelay
