#pragma once

#include <QRect>
#include <QString>

#include "uikit/PZTextFieldNode.h"

namespace ombrelay {

class SourceItem;
class SourceView;

// The source list's row cell: the item's icon and name, the count bubble at the right end, and the
// hover state of a search's icon, which runs the search again when clicked.
class SideCell : public PZTextFieldNode
{
public:
    struct Icons
    {
        QString image;      // empty: the folder icon of the icon cache
        QString alternate;  // empty: none
    };

    explicit SideCell(SourceView& view) : m_view(view) {}

    // The named images of a search, feed without a site icon, or folder.
    static Icons iconsForItem(const SourceItem& item, bool hovered);
    // "N new" when there are new entries, else "N" when there are any; empty for none.
    static QString bubbleText(int newCount, int count);
    // Where a bubble with text `textWidth` wide goes in a cell frame.
    static QRect bubbleRect(const QRect& frame, qreal textWidth, bool hasImage);
    static bool hasBubble(const SourceItem& item, const QRect& frame);

    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;
    QPoint primaryOffset() const override { return {6, 2}; }
    QPoint imageOffset() const override { return {4, 2}; }
    bool drawsWithGradientBackground() const override { return true; }

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal drawLeftDecoration(QPainter& painter, const QRect& frame) override;
    qreal drawRightDecoration(QPainter& painter, const QRect& frame) override;

private:
    qreal drawBubble(QPainter& painter, const QRect& frame, const QString& text, const QPixmap& image);
    SourceItem* item() const;

    SourceView& m_view;
};

}  // namespace ombrelay
