#include "app/frame/LeftSideView.h"

#include "app/frame/SideLineView.h"
#include "uikit/PZColor.h"
#include "uikit/PZViewExtensions.h"

#include <QPainter>
#include <QPaintEvent>
#include <QVBoxLayout>

namespace ombrelay {

LeftSideView::LeftSideView(QWidget* sourceList, QWidget* transfersEntry, QWidget* statusStrip, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sourceList, 1);
    layout->addWidget(new SideLineView(this));
    layout->addWidget(transfersEntry);
    layout->addWidget(statusStrip);
}

void LeftSideView::paintEvent(QPaintEvent* event)
{
    const double level = PZViewExtensions::shouldDrawWithBlueTint(this) ? 0.341176 : 0.529412;
    QPainter(this).fillRect(event->rect(), PZColor::colorWithCalibratedRed(level, level, level, 1));
}

}  // namespace ombrelay
