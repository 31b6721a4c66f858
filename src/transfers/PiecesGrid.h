#pragma once

#include "kit/PZRange.h"

#include <QtGlobal>

namespace ombrelay {

// The square grid of the pieces view for a torrent of n blocks: up to 18 x 18 cells spanning 90
// points, each cell summarising an equal run of blocks. No blocks: an empty grid.
struct PiecesGrid
{
    static constexpr int kSpan = 90;

    int blockSize = 0;  // side of one cell in points, its 1-point gap included
    int rows = 0;
    int columns = 0;

    static PiecesGrid forBlockCount(quint64 blocks);
    int cellCount() const { return rows * columns; }
    // Cell k of c holds blocks floor(k * n / c) up to floor((k + 1) * n / c): every block lands in a cell.
    static PZRange cellRange(int cell, quint64 blocks, int cells);
};

}  // namespace ombrelay
