#pragma once

#include "transfers/PiecesGrid.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

namespace ombrelay {

class CurrentDownload;
class TorrentLine;

// The selected torrent's download progress as a grid of cells, refreshed every second; a cell whose
// value changed since the last refresh is solid blue for that one refresh, a complete one green, a
// partial one blue as strong as its fraction. A complete torrent shows its badge instead.
class PiecesView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxCells = 18 * 18;
    static const QColor& blue();
    static const QColor& green();

    explicit PiecesView(const CurrentDownload& currentDownload, QWidget* parent = nullptr);

    const PiecesGrid& grid() const { return m_grid; }
    void setPieceCount(quint64 blocks);
    // The selected torrent's values into the new array; no torrent or no blocks: an empty grid.
    void rebuildArrays();
    bool arraysAreEqual() const;
    void selectionDidChange();
    // The once-a-second refresh.
    void updateTimer();
    // How cell k is filled now; transparent for a cell with nothing downloaded or outside the grid.
    QColor cellColor(int cell) const;
    QRect cellRect(int cell) const;

    QSize sizeHint() const override { return {PiecesGrid::kSpan + 4, PiecesGrid::kSpan + 4}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CurrentDownload& m_currentDownload;
    PiecesGrid m_grid;
    std::array<float, kMaxCells> m_new{};
    std::array<float, kMaxCells> m_old{};
    std::weak_ptr<TorrentLine> m_shown;  // whose values the arrays hold
    QTimer m_timer;
};

}  // namespace ombrelay
