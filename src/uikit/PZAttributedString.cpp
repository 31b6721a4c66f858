#include "uikit/PZAttributedString.h"

#include "uikit/PZColor.h"

#include <QFontMetrics>

namespace ombrelay {

void PZAttributedString::setAttributes(const PZTextAttributes& attributes, int start, int length)
{
    const int size = int(m_text.size());
    const int first = std::clamp(start, 0, size);
    const int end = int(std::clamp<qint64>(qint64(start) + length, first, size));
    if (end > first)
        m_ranges.append({first, end - first, attributes});
}

void PZAttributedString::highlightStrings(const QStringList& terms, const PZTextAttributes& attributes)
{
    for (const QString& term : terms) {
        if (term.isEmpty())
            continue;
        const qsizetype found = m_text.indexOf(term, 0, Qt::CaseInsensitive);
        if (found >= 0)
            setAttributes(attributes, int(found), int(term.size()));
    }
}

PZAttributedString PZAttributedString::withColor(const QColor& color) const
{
    PZAttributedString copy = *this;
    copy.m_color = color;
    return copy;
}

PZAttributedString PZAttributedString::whiteAttributedString() const
{
    return withColor(PZColor::whiteColor());
}

PZAttributedString PZAttributedString::whiteAttributedStringWithAlpha(float alpha) const
{
    return withColor(PZColor::whiteColor(alpha));
}

PZTextAttributes PZAttributedString::attributesAt(int position, const PZTextAttributes& base) const
{
    PZTextAttributes found = base;
    for (const Range& range : m_ranges) {
        if (position >= range.start && position < range.start + range.length)
            found = range.attributes;
    }
    if (m_color)
        found.color = *m_color;
    return found;
}

void PZAttributedString::draw(QPainter& painter, const QRect& rect, const PZTextAttributes& base) const
{
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    int x = rect.x();
    for (int start = 0; start < m_text.size() && x < rect.right();) {
        const PZTextAttributes attributes = attributesAt(start, base);
        int end = start + 1;
        while (end < m_text.size()) {
            const PZTextAttributes next = attributesAt(end, base);
            if (next.font != attributes.font || next.color != attributes.color)
                break;
            ++end;
        }
        const QString run = m_text.mid(start, end - start);
        const QFontMetrics metrics(attributes.font);
        painter.setFont(attributes.font);
        painter.setPen(attributes.color);
        painter.drawText(QPoint(x, rect.y() + metrics.ascent()), run);
        x += metrics.horizontalAdvance(run);
        start = end;
    }
    painter.restore();
}

}  // namespace ombrelay
