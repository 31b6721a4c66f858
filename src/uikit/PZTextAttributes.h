#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>

namespace ombrelay {

// How a line of text is laid out in its rectangle.
struct PZParagraphStyle
{
    Qt::Alignment alignment = Qt::AlignLeft;
    Qt::TextElideMode elide = Qt::ElideRight;
};

// The font, colour and paragraph style a cell draws a line with.
struct PZTextAttributes
{
    QFont font;
    QColor color;
    PZParagraphStyle paragraph;
};

struct PZShadow
{
    QPointF offset;
    qreal blurRadius = 0;
    QColor color;
};

}  // namespace ombrelay
