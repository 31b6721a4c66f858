#include "transfers/TransfersFixture.h"

#include "transfers/CurrentDownload.h"
#include "transfers/PiecesView.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

TorrentLinePtr torrentOfBlocks(quint64 blocks, quint64 lastBlockBytes = 16384)
{
    const qint64 length = qint64((blocks - 1) * 16384 + lastBlockBytes);
    TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(singleFileInfo(QStringLiteral("t.bin"), length, 16384)));
    EXPECT_TRUE(torrent);
    return torrent;
}

class PiecesViewTest : public TransfersFixture
{
protected:
    void SetUp() override
    {
        TransfersFixture::SetUp();
        current = std::make_unique<CurrentDownload>(*controller);
        view = std::make_unique<PiecesView>(*current);
        view->show();
    }
    void select(const TorrentLinePtr& torrent)
    {
        current->setContent(torrent);
        view->selectionDidChange();
    }

    std::unique_ptr<CurrentDownload> current;
    std::unique_ptr<PiecesView> view;
};

}  // namespace

TEST(PiecesGrid, SizesAndCellRangesCoverEveryBlock)
{
    // Blocks, cell side in pixels, cells a side, blocks of the last cell.
    const std::tuple<quint64, int, int, PZRange> rows[] = {
        {0, 0, 0, {}},           {1, 90, 1, {0, 1}},      {5, 90, 1, {0, 5}},        {9, 30, 3, {8, 1}},
        {50, 15, 6, {48, 2}},    {323, 6, 15, {321, 2}},  {324, 5, 18, {323, 1}},    {10000, 5, 18, {9969, 31}},
        {1000000, 5, 18, {996913, 3087}},
    };
    for (const auto& [blocks, blockSize, side, lastCell] : rows) {
        SCOPED_TRACE(blocks);
        const PiecesGrid grid = PiecesGrid::forBlockCount(blocks);
        EXPECT_EQ(grid.blockSize, blockSize);
        EXPECT_EQ(grid.rows, side);
        EXPECT_EQ(grid.columns, side);
        if (grid.blockSize > 0) {
            EXPECT_EQ(grid.rows * grid.blockSize, PiecesGrid::kSpan);
        }
        const int cells = grid.cellCount();
        quint64 next = 0;
        quint64 shortest = ~quint64(0);
        quint64 longest = 0;
        for (int k = 0; k < cells; ++k) {
            const PZRange run = PiecesGrid::cellRange(k, blocks, cells);
            ASSERT_EQ(run.location, next) << "cell " << k;
            next += run.length;
            shortest = std::min(shortest, run.length);
            longest = std::max(longest, run.length);
        }
        EXPECT_EQ(next, blocks) << "every block lands in a cell";
        if (cells > 0) {
            EXPECT_GE(shortest, 1u);
            EXPECT_LE(longest - shortest, 1u);
            EXPECT_EQ(PiecesGrid::cellRange(cells - 1, blocks, cells), lastCell);
        }
        EXPECT_EQ(PiecesGrid::cellRange(cells, blocks, cells), PZRange{}) << "past the grid";
    }
}

TEST_F(PiecesViewTest, AChangedCellIsBlueForExactlyOneRefresh)
{
    const TorrentLinePtr torrent = torrentOfBlocks(648, 100);  // two blocks a cell, the last one short
    select(torrent);
    ASSERT_EQ(view->grid().cellCount(), 324);
    QColor half = PiecesView::blue();
    half.setAlphaF(0.5f);
    QColor none = PiecesView::blue();
    none.setAlphaF(0);
    // Blocks in before the refresh, then the colours of cells 0 and 323.
    const std::tuple<QList<quint64>, QColor, QColor> steps[] = {
        {{0}, PiecesView::blue(), none},
        {{}, half, none},
        {{1, 647}, PiecesView::blue(), PiecesView::blue()},
        {{}, PiecesView::green(), half},
        {{646}, PiecesView::green(), PiecesView::blue()},
        {{}, PiecesView::green(), PiecesView::green()},
    };
    int refresh = 0;
    for (const auto& [arrive, cell0, cell323] : steps) {
        SCOPED_TRACE(refresh++);
        for (quint64 block : arrive)
            ASSERT_TRUE(torrent->downloadedBlocks().addIndex(block));
        view->updateTimer();
        EXPECT_EQ(view->cellColor(0), cell0);
        EXPECT_EQ(view->cellColor(323), cell323);
        EXPECT_EQ(view->cellColor(1), none);
    }
}

TEST_F(PiecesViewTest, NoBlocksNoSelectionOrARemovedTorrentShowAnEmptyGrid)
{
    TorrentLinePtr first = torrentOfBlocks(10000);
    for (quint64 block = 0; block < 30; ++block)
        first->downloadedBlocks().addIndex(block);
    select(first);
    EXPECT_EQ(view->cellColor(0), PiecesView::green());

    const TorrentLinePtr magnet = std::make_shared<TorrentLine>();  // no metainfo yet
    const TorrentLinePtr other = torrentOfBlocks(50);
    const std::function<void()> changes[] = {
        [&] { select(magnet); },
        [&] { select(nullptr); },
        [&] { select(other); view->updateTimer(); },
        [&] { first.reset(); },
    };
    const int cells[] = {0, 0, 36, 0};
    for (size_t k = 0; k < std::size(changes); ++k) {
        SCOPED_TRACE(k);
        select(first);
        changes[k]();
        view->updateTimer();
        EXPECT_EQ(view->grid().cellCount(), cells[k]);
        EXPECT_EQ(view->cellColor(0).alpha(), 0) << "nothing of the first torrent shows";
        EXPECT_TRUE(view->arraysAreEqual());
        view->grab();  // draws without dividing by zero
    }
}
