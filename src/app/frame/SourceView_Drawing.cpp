#include "app/frame/SourceView.h"

#include "app/frame/SideLineView.h"
#include "app/frame/SourceItem.h"
#include "uikit/PZColor.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"
#include "uikit/PZViewExtensions.h"

#include <QPainter>

namespace ombrelay {

namespace {

int textHeight(const QString& text, const QFont& font, int width)
{
    const QRect bounds = QFontMetrics(font).boundingRect(QRect(0, 0, width, 100), Qt::TextWordWrap | Qt::AlignHCenter, text);
    return std::min(bounds.height(), 100);
}

}  // namespace

void SourceView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (selectionModel()->isSelected(index.siblingAtColumn(0))) {
        const QRect row(0, option.rect.y(), viewport()->width(), option.rect.height());
        const QString name = isFirstResponder() ? QStringLiteral("Selection22") : QStringLiteral("SelectionAlternate22");
        PZImageDrawing::drawInRect(*painter, PZImage::flippedImageNamed(name), row);
    }
    QTreeView::drawRow(painter, option, index);
}

void SourceView::paintEvent(QPaintEvent* event)
{
    const QColor background = SideLineView::sourceListBackground(PZViewExtensions::shouldDrawWithBlueTint(this));
    if (viewport()->palette().color(QPalette::Base) != background) {
        QPalette look = palette();
        look.setColor(QPalette::Base, background);
        look.setColor(QPalette::Window, background);
        viewport()->setPalette(look);
        setPalette(look);
    }
    QTreeView::paintEvent(event);
    if (m_root->childCount() == 0) {
        QPainter painter(viewport());
        drawWelcome(painter);
    }
}

void SourceView::drawWelcome(QPainter& painter)
{
    const QRect area = viewport()->rect().adjusted(6, 0, -6, 0);
    const QString title = tr("Welcome to Ombrelay!");
    const QString line = tr("Enter your search terms above.");
    const QFont titleFont = PZText::systemFont(12, true);
    const QFont lineFont = PZText::systemFont(12);
    const int titleHeight = textHeight(title, titleFont, area.width());
    const int lineHeight = textHeight(line, lineFont, area.width());
    const int top = (viewport()->height() - 70 - titleHeight - lineHeight) / 2;
    const QPixmap image = PZImage::flippedImageNamed(QStringLiteral("Search63"));
    PZImageDrawing::drawAtPoint(painter, image, QPointF((viewport()->width() - 63) / 2.0, top));
    const QColor ink = PZColor::colorWithCalibratedRed(0.568627, 0.588235, 0.619608, 1);
    auto draw = [&](const QString& text, const QFont& font, int y, int height) {
        const QRect rect(area.x(), y, area.width(), height);
        const int flags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop;
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 128));
        painter.drawText(rect.translated(0, 1), flags, text);
        painter.setPen(ink);
        painter.drawText(rect, flags, text);
    };
    draw(title, titleFont, top + 70, titleHeight);
    draw(line, lineFont, top + 70 + titleHeight, lineHeight);
}

}  // namespace ombrelay
