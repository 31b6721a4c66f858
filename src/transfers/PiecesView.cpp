#include "transfers/PiecesView.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/NotificationCenter.h"
#include "transfers/CurrentDownload.h"
#include "transfers/InfoArtwork.h"
#include "transfers/KoDownloadsController.h"
#include "uikit/PZImage.h"

#include <QPainter>
#include <cmath>

namespace ombrelay {

const QColor& PiecesView::blue()
{
    static const QColor color(38, 128, 240);
    return color;
}

const QColor& PiecesView::green()
{
    static const QColor color(15, 202, 25);
    return color;
}

PiecesView::PiecesView(const CurrentDownload& currentDownload, QWidget* parent)
    : QWidget(parent), m_currentDownload(currentDownload)
{
    InfoArtwork::registerImages();
    setFixedSize(sizeHint());
    setToolTip(tr("Blue: Partially downloaded.") + QLatin1Char('\n') + tr("Green: Completely downloaded."));
    listenForNotification(this, QString::fromLatin1(KoDownloadsController::kSelectionDidChangeNotification),
                          [this](const Notification&) { selectionDidChange(); });
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &PiecesView::updateTimer);
    m_timer.start();
}

void PiecesView::setPieceCount(quint64 blocks)
{
    m_grid = PiecesGrid::forBlockCount(blocks);
}

void PiecesView::rebuildArrays()
{
    const TorrentLinePtr torrent = m_currentDownload.content();
    const quint64 blocks = torrent ? torrent->totalNumberOfBlocks() : 0;
    if (torrent.get() != m_shown.lock().get()) {
        // Another torrent's values never show, not even as changes.
        m_new.fill(0);
        m_old.fill(0);
    }
    m_shown = torrent;
    setPieceCount(blocks);
    const int cells = m_grid.cellCount();
    for (int k = 0; k < cells; ++k) {
        const PZRange run = PiecesGrid::cellRange(k, blocks, cells);
        m_new[size_t(k)] = torrent->downloadedBlocks().fractionWithinRange(run.location, run.length);
    }
}

bool PiecesView::arraysAreEqual() const
{
    for (int k = 0; k < m_grid.cellCount(); ++k)
        if (!(m_new[size_t(k)] == m_old[size_t(k)]))  // not a number never agrees
            return false;
    return true;
}

void PiecesView::selectionDidChange()
{
    rebuildArrays();
    m_old = m_new;  // a newly selected torrent starts without highlighted cells
    update();
}

void PiecesView::updateTimer()
{
    if (!isVisible())
        return;
    if (!arraysAreEqual())
        update();  // last refresh's highlights go
    m_old = m_new;
    rebuildArrays();
    if (!arraysAreEqual())
        update();
}

QColor PiecesView::cellColor(int cell) const
{
    if (cell < 0 || cell >= m_grid.cellCount())
        return Qt::transparent;
    const float now = m_new[size_t(cell)];
    if (!(now == m_old[size_t(cell)]))
        return blue();
    if (now == 1.0f)
        return green();
    QColor partial = blue();
    partial.setAlphaF(std::clamp(std::isfinite(now) ? now : 0.0f, 0.0f, 1.0f));
    return partial;
}

QRect PiecesView::cellRect(int cell) const
{
    if (cell < 0 || cell >= m_grid.cellCount())
        return {};
    const int size = m_grid.blockSize;
    const int row = cell / m_grid.columns;
    const int column = cell % m_grid.columns;
    return QRect(2 + size * column, 2 + size * row, size - 1, size - 1);
}

void PiecesView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const TorrentLinePtr torrent = m_currentDownload.content();
    if (torrent && torrent->isComplete()) {
        painter.drawPixmap(QPoint(24, 24), PZImage::flippedImageNamed(QStringLiteral("Complete44")));
        return;
    }
    painter.fillRect(rect().adjusted(1, 1, -1, -1), Qt::white);
    if (!torrent || torrent.get() != m_shown.lock().get())
        return;
    for (int k = 0; k < m_grid.cellCount(); ++k)
        painter.fillRect(cellRect(k), cellColor(k));
}

}  // namespace ombrelay
