#include "app/DownloadsEntryView.h"

#include "app/SideLineView.h"
#include "uikit/PZIconCache.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PZText.h"
#include "uikit/PZViewExtensions.h"

#include <QKeyEvent>
#include <QPainter>

namespace ombrelay {

DownloadsEntryView::DownloadsEntryView(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(22);
    setFocusPolicy(Qt::StrongFocus);
}

void DownloadsEntryView::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

void DownloadsEntryView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool active = PZViewExtensions::shouldDrawWithBlueTint(this);
    painter.fillRect(rect(), SideLineView::sourceListBackground(active));
    if (m_selected) {
        const QString band = hasFocus() && active ? QStringLiteral("Selection22") : QStringLiteral("SelectionAlternate22");
        PZImageDrawing::drawInRect(painter, PZImage::flippedImageNamed(band), rect());
    }
    painter.drawPixmap(QRect(6, 3, 16, 16), PZIconCache::instance16().folderIcon());
    const PZTextAttributes& text = m_selected ? PZText::boldTextAttributesWhite12() : PZText::textAttributes12();
    painter.setFont(text.font);
    painter.setPen(text.color);
    painter.drawText(rect().adjusted(28, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, tr("Downloads"));
}

void DownloadsEntryView::mousePressEvent(QMouseEvent*)
{
    setFocus(Qt::MouseFocusReason);
    emit clicked();
}

void DownloadsEntryView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return) {
        emit clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace ombrelay
