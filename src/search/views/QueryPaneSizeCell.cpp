#include "search/views/QueryPaneSizeCell.h"

#include "engine/torrent/FileLine.h"
#include "kit/OBDefaults.h"
#include "kit/PZFileSize.h"
#include "search/views/ResultItem.h"
#include "uikit/PZText.h"

namespace ombrelay {

const PZTextAttributes* QueryPaneSizeCell::primaryAttributes() const
{
    return m_dimmed ? &PZText::textAttributesGrayCentered11() : &PZText::textAttributesCentered11();
}

const PZTextAttributes* QueryPaneSizeCell::primaryAttributesAlternate() const
{
    return m_dimmed ? &PZText::textAttributesBlendedCentered11() : &PZText::textAttributesWhiteCentered11();
}

const PZTextAttributes* QueryPaneSizeCell::secondaryAttributes() const
{
    return &PZText::textAttributesGray11();
}

const PZTextAttributes* QueryPaneSizeCell::secondaryAttributesAlternate() const
{
    return &PZText::textAttributesBlended11();
}

QPoint QueryPaneSizeCell::primaryOffset() const
{
    return {3, m_useLargeViewMode ? 13 : 1};
}

void QueryPaneSizeCell::drawInterior(QPainter& painter, const QRect& frame)
{
    auto* item = dynamic_cast<ResultItem*>(cellObject());
    if (!item)
        return;
    m_isTorrentLine = item->torrentLine() != nullptr;
    m_useLargeViewMode = m_isTorrentLine && OBDefaults::kQueryViewMode() == 1;
    const auto* file = dynamic_cast<const FileLine*>(item->shownLine());
    m_dimmed = !m_isTorrentLine && ((file && !file->shouldDownload() && item->checkboxState() == 1) ||
                                    item->isRSSArticleLine());
    static PZFileSize size;  // one formatter for every row
    size.setValue(item->line()->fileLength());
    setPrimary(size.description());
    PZNode::drawInterior(painter, frame);
}

}  // namespace ombrelay
