#include "search/suggestions/Suggestion.h"

#include "search/suggestions/SuggestionView.h"
#include "uikit/PZImage.h"
#include "uikit/PZText.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace ombrelay {
namespace {

const bool gradientRegistered = [] {
    PZImage::registerDrawing(QStringLiteral("AutocompleteGradient"), [] {
        QImage image(1, Suggestion::kHeight, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 0, Suggestion::kHeight);
        gradient.setColorAt(0, QColor(95, 146, 240));
        gradient.setColorAt(1, QColor(26, 86, 214));
        painter.fillRect(image.rect(), gradient);
        return image;
    });
    return true;
}();

}  // namespace

Suggestion::Suggestion(const QString& stringValue, SuggestionView* suggestionView)
    : QWidget(suggestionView), m_suggestionView(suggestionView), m_stringValue(stringValue)
{
    (void)gradientRegistered;
    setMouseTracking(true);
}

void Suggestion::setIsSelected(bool selected)
{
    if (m_isSelected == selected)
        return;
    m_isSelected = selected;
    update();
}

int Suggestion::idealWidth() const
{
    const QFontMetricsF metrics(PZText::textAttributes12().font);
    return int(std::ceil(metrics.horizontalAdvance(m_stringValue))) + 26;
}

void Suggestion::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_isSelected)
        painter.drawPixmap(rect(), PZImage::imageNamed(QStringLiteral("AutocompleteGradient")));
    const PZTextAttributes& style = m_isSelected ? PZText::textAttributesWhite12() : PZText::textAttributes12();
    const QRect textRect(20, -1, width() - 26, height());
    painter.setFont(style.font);
    painter.setPen(style.color);
    const QString shown = QFontMetrics(style.font).elidedText(m_stringValue, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void Suggestion::enterEvent(QEnterEvent*)
{
    m_suggestionView->rowEntered(this);
}

void Suggestion::leaveEvent(QEvent*)
{
    m_suggestionView->rowLeft(this);
}

void Suggestion::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        m_suggestionView->rowClicked(this);
}

void Suggestion::hideEvent(QHideEvent*)
{
    setIsSelected(false);
}

}  // namespace ombrelay
