#include "transfers/DownloadsPaneCell.h"

#include "transfers/TransferArtwork.h"
#include "transfers/TransferItem.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"

namespace ombrelay {

namespace {

PZTextAttributes withColor(const PZTextAttributes& base, QColor color)
{
    PZTextAttributes attributes = base;
    attributes.color = color;
    return attributes;
}

}  // namespace

DownloadsPaneCell::DownloadsPaneCell()
{
    TransferArtwork::registerImages();
}

TransferItem* DownloadsPaneCell::item() const
{
    return static_cast<TransferItem*>(cellObject());
}

TorrentLine* DownloadsPaneCell::torrentLine() const
{
    return item() ? item()->torrentLine() : nullptr;
}

const PZTextAttributes* DownloadsPaneCell::primaryAttributes() const
{
    if (isCentered())
        return isTorrentRow() ? &PZText::textAttributesCentered12() : &PZText::textAttributesCentered11();
    return isTorrentRow() ? &PZText::textAttributes12() : &PZText::textAttributes11();
}

const PZTextAttributes* DownloadsPaneCell::primaryAttributesAlternate() const
{
    if (isCentered())
        return isTorrentRow() ? &PZText::textAttributesWhiteCentered12() : &PZText::textAttributesWhiteCentered11();
    return isTorrentRow() ? &PZText::textAttributesWhite12() : &PZText::textAttributesWhite11();
}

const PZTextAttributes* DownloadsPaneCell::secondaryAttributes() const
{
    return isCentered() ? &PZText::textAttributesGrayCentered11() : &PZText::textAttributesGray11();
}

const PZTextAttributes* DownloadsPaneCell::secondaryAttributesAlternate() const
{
    return isCentered() ? &PZText::textAttributesBlendedCentered11() : &PZText::textAttributesBlended11();
}

const PZTextAttributes* DownloadsPaneCell::tertiaryAttributes() const
{
    static const PZTextAttributes blue = withColor(PZText::textAttributes11(), QColor::fromRgbF(0.27451f, 0.486275f, 0.8f));
    return &blue;
}

const PZTextAttributes* DownloadsPaneCell::tertiaryAttributesAlternate() const
{
    return &PZText::textAttributesWhite11();
}

void DownloadsPaneCell::drawButton(QPainter& painter, const QString& name, const QString& pressedName, int rect,
                                   QPoint at) const
{
    const bool pressed = activeTrackingRect() == rect;
    PZImageDrawing::drawAtPoint(painter, PZImage::flippedImageNamed(pressed ? pressedName : name), at, 1.0);
}

}  // namespace ombrelay
