#pragma once

#include "transfers/DownloadsPaneCell.h"

#include <functional>

namespace ombrelay {

// The name column: checkbox (file rows), icon, name; on torrent rows the file count and the state line;
// the reveal button for content on disk, the alert button of a halted torrent.
class DownloadsPaneFileCell : public DownloadsPaneCell
{
public:
    // "1 file", "%1 files", "%1 of %2 files" for a torrent with folders or several files.
    static QString filesText(int activeFiles, int fileCount);
    // What the alert button of a halted torrent does (the controller shows the detached-disk alert).
    static void setUnattachedDiskAction(std::function<void(TorrentLine&)> action);
    static void unattachedDiskAlert(TorrentLine& torrent);

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performActionOnRect(int rect, PZOutlineObject* object, QWidget* view) override;

    // File rows the torrent skips are grey, their icons at half opacity.
    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal imageOpacity() const override { return isSkippedFile() ? 0.5 : 1.0; }
    qreal drawRightDecoration(QPainter& painter, const QRect& frame) override;
    QPoint primaryOffset() const override;
    QPoint secondaryOffset() const override { return {7, 21}; }
    QPoint imageOffset() const override;

private:
    bool isSkippedFile() const;
    // The content is on disk (checked at most once a second, never for a halted torrent).
    static bool revealable(const TransferItem& item);

    void drawSecondLine(QPainter& painter, const QRect& frame);

    QString m_filesPart;
    QString m_statePart;
};

}  // namespace ombrelay
