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

struct PZShadow
{
    QPointF offset;
    qreal blurRadius = 0;
    QColor color;
};

// The font, colour, paragraph style and shadow (none while its colour is unset or transparent) a cell
// draws a line with.
struct PZTextAttributes
{
    QFont font;
    QColor color;
    PZParagraphStyle paragraph;
    PZShadow shadow{};
};

}  // namespace ombrelay
