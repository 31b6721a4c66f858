#pragma once

#include "transfers/DownloadsPaneCell.h"

namespace ombrelay {

// The progress column. A torrent row: the amount (or percentage) left of the bar, the bar in the
// torrent's colour with a moving overlay while it starts, and the remove button; a click on the amount
// switches every progress text between amounts and percentages. A file row: its size (or percentage),
// a check mark when complete, the get-file button when skipped.
class DownloadProgressCell : public DownloadsPaneCell
{
public:
    // "%.1f%%".
    static QString percentText(float fraction);
    static QRect progressRectInCell(const QRect& frame);
    static QRect downloadButtonFrameInRect(const QRect& frame);

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performActionOnRect(int rect, PZOutlineObject* object, QWidget* view) override;

    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;
    const PZTextAttributes* secondaryAttributes() const override;
    const PZTextAttributes* secondaryAttributesAlternate() const override;
    const PZTextAttributes* tertiaryAttributes() const override;
    const PZTextAttributes* tertiaryAttributesAlternate() const override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal drawLeftDecoration(QPainter&, const QRect&) override { return 0; }
    QPoint primaryOffset() const override;
    QPoint secondaryOffset() const override { return {0, 20}; }
    QPoint tertiaryOffset() const override { return {0, 12}; }

private:
    void drawTorrentRow(QPainter& painter, const QRect& frame, TorrentLine& torrent);
    void drawFileRow(QPainter& painter, const QRect& frame);
    bool m_completeLine = false;  // the row's torrent or file, at the last draw
};

}  // namespace ombrelay
