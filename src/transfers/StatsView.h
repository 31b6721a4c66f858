#pragma once

#include "transfers/KoDrawerStatsDownloadsCell.h"

#include <QWidget>

namespace ombrelay {

// The sidebar's one transfers row: a click or Enter asks for the transfers view, and the row looks
// selected while that view is shown or the row has the focus. Tab moves on to the list shown beside
// it, selecting its first row when none is selected; Shift+Tab back to the toolbar search field.
class StatsView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRowHeight = 42;

    explicit StatsView(QWidget* parent = nullptr);

    KoDrawerStatsDownloadsCell& downloadsCell() { return m_cell; }
    const KoDrawerStatsDownloadsCell& downloadsCell() const { return m_cell; }

    // Whether the main window shows the transfers view now.
    void setTransfersViewShown(bool shown);
    // Shown in the active window: the user sees the transfers.
    bool isTransfersViewSeen() const;
    bool isHighlighted() const;

    QSize sizeHint() const override { return {180, kRowHeight}; }

signals:
    void activated();
    // The transfers view became visible in the active window.
    void transfersViewSeen();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void tellIfSeen();

    KoDrawerStatsDownloadsCell m_cell;
    bool m_transfersViewShown = false;
};

}  // namespace ombrelay
