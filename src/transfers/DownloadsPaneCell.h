#pragma once

#include "uikit/PZCheckboxCell.h"

namespace ombrelay {

class TorrentLine;
class TransferItem;

// The base of the transfers list's cells: the row's item and torrent, the look of selected rows, and
// the transfers artwork registered on first use. Torrent rows are 41 high, file rows 17.
class DownloadsPaneCell : public PZCheckboxCell
{
public:
    DownloadsPaneCell();

    TransferItem* item() const;
    TorrentLine* torrentLine() const;  // null on file rows
    bool isTorrentRow() const { return torrentLine() != nullptr; }

    // Lines in the centered styles (the time column).
    virtual bool isCentered() const { return false; }

    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;
    const PZTextAttributes* secondaryAttributes() const override;
    const PZTextAttributes* secondaryAttributesAlternate() const override;
    const PZTextAttributes* tertiaryAttributes() const override;
    const PZTextAttributes* tertiaryAttributesAlternate() const override;

    // A button image at a point, pressed while the tracker holds the control `rect`.
    void drawButton(QPainter& painter, const QString& name, const QString& pressedName, int rect, QPoint at) const;
};

}  // namespace ombrelay
