#include "transfers/PiecesGrid.h"

namespace ombrelay {

PiecesGrid PiecesGrid::forBlockCount(quint64 blocks)
{
    struct Step
    {
        quint64 atLeast;
        int blockSize;
    };
    static constexpr Step kSteps[] = {{324, 5}, {225, 6}, {100, 9}, {81, 10}, {36, 15}, {25, 18}, {9, 30}, {1, 90}};
    for (const Step& step : kSteps) {
        if (blocks >= step.atLeast) {
            const int side = kSpan / step.blockSize;
            return {step.blockSize, side, side};
        }
    }
    return {};
}

PZRange PiecesGrid::cellRange(int cell, quint64 blocks, int cells)
{
    if (cells <= 0 || cell < 0 || cell >= cells)
        return {};
    using Wide = unsigned __int128;
    const quint64 from = quint64(Wide(cell) * blocks / unsigned(cells));
    const quint64 to = quint64(Wide(cell + 1) * blocks / unsigned(cells));
    return {from, to - from};
}

}  // namespace ombrelay
