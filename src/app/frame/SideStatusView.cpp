#include "app/frame/SideStatusView.h"

#include "app/frame/SideResizeWidget.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"

#include <QHBoxLayout>
#include <QPainter>

namespace ombrelay {

SideStatusView::SideStatusView(MainSplitView* splitView, QWidget* parent)
    : QWidget(parent), m_resizeWidget(new SideResizeWidget(splitView, this))
{
    setFixedHeight(23);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    layout->addWidget(m_resizeWidget);
    listenForNotification(this, QStringLiteral("ToolbarModeDidChangeNotification"),
                          [this](const Notification&) { updateSearchFieldWidth(); });
    PerformLater::schedule(this, [this] { updateSearchFieldWidth(); });
}

int SideStatusView::searchFieldWidth(int stripWidth, int displayMode)
{
    return std::max(0, stripWidth - (displayMode == 1 ? 21 : 19));
}

void SideStatusView::updateSearchFieldWidth()
{
    emit searchFieldWidthChanged(searchFieldWidth(width(), m_displayMode ? m_displayMode() : 2));
}

void SideStatusView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    PZImageDrawing::drawInRect(painter, PZImage::imageNamed(QStringLiteral("WhiteBG23")), rect());
}

void SideStatusView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateSearchFieldWidth();
}

}  // namespace ombrelay
