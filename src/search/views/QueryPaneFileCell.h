#pragma once

#include "uikit/PZCheckboxCell.h"

namespace ombrelay {

class ResultItem;

// The name column of the result and feed lists: checkbox, file or folder icon (the arrow of a feed
// article) and the name with the query's terms in bold; the files summary beside the name (compact
// view) or below it (large view).
class QueryPaneFileCell : public PZCheckboxCell
{
public:
    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;
    const PZTextAttributes* secondaryAttributes() const override;
    const PZTextAttributes* secondaryAttributesAlternate() const override;
    QPoint primaryOffset() const override;
    QPoint secondaryOffset() const override { return {7, 21}; }
    QPoint imageOffset() const override;
    qreal imageOpacity() const override;

    QList<QRect> controlRects(const QRect& frame, PZOutlineObject* object) const override;
    void performAction(PZOutlineObject* object, QWidget* view) override;

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal drawRightDecoration(QPainter& painter, const QRect& frame) override;
    void drawPrimary(QPainter& painter, const QRect& frame) override;

private:
    bool isUnwanted() const;

    ResultItem* m_item = nullptr;
    bool m_isTorrentLine = false;
    bool m_useLargeViewMode = false;
    bool m_hasChildren = false;
    bool m_isArticle = false;
    int m_checkboxState = -1;
};

}  // namespace ombrelay
