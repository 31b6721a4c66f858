#include "app/frame/SideLineView.h"

#include "uikit/PZColor.h"
#include "uikit/PZViewExtensions.h"

#include <QPainter>

namespace ombrelay {

SideLineView::SideLineView(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(5);
}

QColor SideLineView::sourceListBackground(bool blueTint)
{
    return blueTint ? PZColor::colorWithCalibratedRed(0.819608, 0.843137, 0.886275, 1)
                    : PZColor::colorWithCalibratedRed(0.909804, 0.909804, 0.909804, 1);
}

void SideLineView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), sourceListBackground(PZViewExtensions::shouldDrawWithBlueTint(this)));
    painter.fillRect(QRect(4, 2, width() - 8, 1), PZColor::grayColor70());
}

}  // namespace ombrelay
