#pragma once

#include <QColor>
#include <QList>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <optional>

#include "uikit/PZTextAttributes.h"

namespace ombrelay {

// A line of text with attributes over ranges of it (the later range wins where two overlap) and an
// optional colour over its whole length.
class PZAttributedString
{
public:
    struct Range
    {
        int start = 0;
        int length = 0;
        PZTextAttributes attributes;
    };

    explicit PZAttributedString(QString text = {}) : m_text(std::move(text)) {}

    const QString& string() const { return m_text; }
    const QList<Range>& ranges() const { return m_ranges; }
    std::optional<QColor> color() const { return m_color; }

    // Ranges reaching past the text are cut to it; empty ones are dropped.
    void setAttributes(const PZTextAttributes& attributes, int start, int length);
    // Marks the first occurrence of each term, found case-insensitively in the text as it is.
    void highlightStrings(const QStringList& terms, const PZTextAttributes& attributes);

    PZAttributedString withColor(const QColor& color) const;
    PZAttributedString whiteAttributedString() const;
    PZAttributedString whiteAttributedStringWithAlpha(float alpha) const;

    // The attributes in force at a position, given the attributes of the unmarked text.
    PZTextAttributes attributesAt(int position, const PZTextAttributes& base) const;
    // Draws on one line from the rectangle's top left, cut at its right edge.
    void draw(QPainter& painter, const QRect& rect, const PZTextAttributes& base) const;

private:
    QString m_text;
    QList<Range> m_ranges;
    std::optional<QColor> m_color;
};

}  // namespace ombrelay
