#pragma once

#include "uikit/PZNode.h"

#include <QDateTime>

namespace ombrelay {

// The feed list's date column: "Today", "Yesterday", a weekday, else the medium date; the time of day
// below it in the large view.
class RSSPaneDateCell : public PZNode
{
public:
    // Nothing for a missing or invalid date; a later day than `now` reads as its medium date.
    static QString dateText(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());

    const PZTextAttributes* primaryAttributes() const override;
    const PZTextAttributes* primaryAttributesAlternate() const override;
    const PZTextAttributes* secondaryAttributes() const override;
    const PZTextAttributes* secondaryAttributesAlternate() const override;
    QPoint primaryOffset() const override;
    QPoint secondaryOffset() const override { return {3, 21}; }

protected:
    void drawInterior(QPainter& painter, const QRect& frame) override;
    qreal drawLeftDecoration(QPainter&, const QRect&) override { return 0; }

private:
    bool m_isArticle = false;
    bool m_large = false;
};

}  // namespace ombrelay
