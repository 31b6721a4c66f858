#include "search/views/QueryPaneFileCell.h"

#include "engine/torrent/FileLine.h"
#include "engine/torrent/TorrentLine.h"
#include "kit/OBDefaults.h"
#include "search/views/OutsideName.h"
#include "search/views/QueryOutlineView.h"
#include "search/views/ResultArtwork.h"
#include "search/views/ResultItem.h"
#include "uikit/PZAttributedString.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZImage.h"
#include "uikit/PZText.h"

#include <QFontMetrics>

namespace ombrelay {

namespace {

PZTextAttributes secondaryStyle(QColor colour)
{
    PZTextAttributes attributes;
    attributes.font = PZText::systemFont(11);
    attributes.color = colour;
    attributes.paragraph = PZText::truncatingParagraphStyle();
    return attributes;
}

}  // namespace

bool QueryPaneFileCell::isUnwanted() const
{
    const auto* file = m_item ? dynamic_cast<const FileLine*>(m_item->shownLine()) : nullptr;
    return file && !file->shouldDownload() && m_checkboxState == 1;
}

const PZTextAttributes* QueryPaneFileCell::primaryAttributes() const
{
    if (m_useLargeViewMode && !m_isArticle)
        return &PZText::textAttributes12();
    return m_isArticle || isUnwanted() ? &PZText::textAttributesGray11() : &PZText::textAttributes11();
}

const PZTextAttributes* QueryPaneFileCell::primaryAttributesAlternate() const
{
    if (m_useLargeViewMode && !m_isArticle)
        return &PZText::textAttributesWhite12();
    return m_isArticle || isUnwanted() ? &PZText::textAttributesBlended11() : &PZText::textAttributesWhite11();
}

const PZTextAttributes* QueryPaneFileCell::secondaryAttributes() const
{
    static const PZTextAttributes attributes = secondaryStyle(QColor::fromRgbF(0.27451f, 0.486275f, 0.8f));
    return &attributes;
}

const PZTextAttributes* QueryPaneFileCell::secondaryAttributesAlternate() const
{
    static const PZTextAttributes attributes = secondaryStyle(QColor::fromRgbF(1, 1, 1, 0.5f));
    return &attributes;
}

QPoint QueryPaneFileCell::primaryOffset() const
{
    if (!m_useLargeViewMode || m_isArticle)
        return {7, 1};
    return {7, m_hasChildren ? 5 : 12};
}

QPoint QueryPaneFileCell::imageOffset() const
{
    return {4, m_useLargeViewMode && !m_isArticle ? 4 : 0};
}

qreal QueryPaneFileCell::imageOpacity() const
{
    return !m_isTorrentLine && isUnwanted() ? 0.5 : 1.0;
}

void QueryPaneFileCell::drawInterior(QPainter& painter, const QRect& frame)
{
    m_item = dynamic_cast<ResultItem*>(cellObject());
    if (!m_item)
        return;
    ResultArtwork::registerImages();
    const OBLine* line = m_item->line();
    m_isTorrentLine = m_item->torrentLine() != nullptr;
    m_useLargeViewMode = m_isTorrentLine && OBDefaults::kQueryViewMode() == 1;
    m_hasChildren = !line->isLeaf();
    m_isArticle = m_item->isRSSArticleLine();
    m_checkboxState = m_item->checkboxState();
    setPrimary(OutsideName::oneLine(line->path()));
    setSecondary(m_useLargeViewMode && !line->isLeaf() ? line->filesText() : QString());
    if (m_isArticle) {
        const bool pressed = activeTrackingRect() >= 0;
        setImage(PZImage::flippedImageNamed(pressed ? QStringLiteral("ArrowGrayActive") : QStringLiteral("ArrowGray")));
        setAlternateImage(
            PZImage::flippedImageNamed(pressed ? QStringLiteral("ArrowWhiteActive") : QStringLiteral("ArrowWhite")));
    } else {
        PZIconCache& icons = m_useLargeViewMode ? PZIconCache::instance32() : PZIconCache::instance16();
        setImage(m_hasChildren ? icons.folderIcon() : icons.iconForExtension(line->pathExtension()));
        setAlternateImage({});
    }
    PZCheckboxCell::drawInterior(painter, frame);
}

qreal QueryPaneFileCell::drawRightDecoration(QPainter& painter, const QRect& frame)
{
    if (m_useLargeViewMode || !m_item || m_item->line()->isLeaf() || frame.width() <= 140)
        return 0;
    const QString text = m_item->line()->filesTextShort();
    const PZTextAttributes& attributes = lineAttributes(secondaryAttributes(), secondaryAttributesAlternate());
    const int width = QFontMetrics(attributes.font).horizontalAdvance(text);
    painter.save();
    painter.setFont(attributes.font);
    painter.setPen(attributes.color);
    painter.drawText(QRect(frame.right() - 3 - width, frame.y() + 1, width + 1, frame.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.restore();
    return width + 5;
}

void QueryPaneFileCell::drawPrimary(QPainter& painter, const QRect& frame)
{
    auto* view = qobject_cast<QueryOutlineView*>(state().view);
    const QStringList terms = view ? view->queryTerms() : QStringList();
    if (!OBDefaults::kHighlightQueryTerm() || terms.isEmpty() || primary().isEmpty()) {
        PZCheckboxCell::drawPrimary(painter, frame);
        return;
    }
    const bool large = m_useLargeViewMode && !m_isArticle;
    const PZTextAttributes& bold = m_isAlternate
                                       ? (large ? PZText::boldTextAttributesWhite12() : PZText::boldTextAttributesWhite11())
                                       : (large ? PZText::boldTextAttributes12() : PZText::boldTextAttributes11());
    PZAttributedString name(primary());
    name.highlightStrings(terms, bold);
    drawAttributedString(painter, name, frame, shiftedOffset(primaryOffset()),
                         lineAttributes(primaryAttributes(), primaryAttributesAlternate()));
}

QList<QRect> QueryPaneFileCell::controlRects(const QRect& frame, PZOutlineObject* object) const
{
    if (object && object->isRSSArticleLine() && object->checkboxState() == -1)
        return {QRect(frame.topLeft() + QPoint(4, 0), QSize(16, 16))};
    return PZCheckboxCell::controlRects(frame, object);
}

void QueryPaneFileCell::performAction(PZOutlineObject* object, QWidget* view)
{
    auto* item = dynamic_cast<ResultItem*>(object);
    if (item && item->isRSSArticleLine() && item->torrentLine()) {
        item->torrentLine()->performAction();
        if (view)
            view->update();
        return;
    }
    PZCheckboxCell::performAction(object, view);
}

}  // namespace ombrelay
