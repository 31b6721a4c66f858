#include "transfers/ShadowedTextField.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace ombrelay {

ShadowedTextField::ShadowedTextField(QWidget* parent) : QLabel(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setMinimumWidth(0);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

const PZShadow& ShadowedTextField::shadow()
{
    static const PZShadow black{QPointF(0, 1.1), 0, QColor(0, 0, 0, 178)};
    return black;
}

QString ShadowedTextField::singleLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return line;
}

QColor ShadowedTextField::textColor() const
{
    if (textInteractionFlags() & Qt::TextSelectableByMouse)
        return Qt::white;
    return palette().color(foregroundRole());
}

QString ShadowedTextField::displayedText() const
{
    const QRect area = contentsRect();
    return fontMetrics().elidedText(singleLine(text()), Qt::ElideRight, area.width());
}

void ShadowedTextField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString line = displayedText();
    const int flags = int(alignment() & ~Qt::AlignJustify) | Qt::TextSingleLine;
    const PZShadow& shade = fieldShadow();
    painter.setPen(shade.color);
    painter.drawText(QRectF(area).translated(shade.offset), flags, line);
    painter.setPen(textColor());
    painter.drawText(area, flags, line);
}

void ShadowedTextField::mousePressEvent(QMouseEvent* event)
{
    if (m_delegateView && m_delegateView->isVisible()) {
        QMouseEvent moved(event->type(), m_delegateView->mapFromGlobal(event->globalPosition()),
                          event->globalPosition(), event->button(), event->buttons(), event->modifiers());
        QApplication::sendEvent(m_delegateView, &moved);
        return;
    }
    QLabel::mousePressEvent(event);
}

}  // namespace ombrelay
