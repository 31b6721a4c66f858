#include "uikit/FilterBackground.h"

#include "uikit/FilterSearchField.h"
#include "uikit/PZImage.h"
#include "uikit/PZRoundTabView.h"
#include "uikit/PZViewExtensions.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>

namespace ombrelay {

FilterBackground::FilterBackground(QWidget* parent) : QWidget(parent) {}

FilterBackground* FilterBackground::barWith(PZRoundTabView* tabView, FilterSearchField* filterField)
{
    filterField->setPlaceholderText(tr("Filter"));
    filterField->setMaximumWidth(200);
    auto* bar = new FilterBackground();
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 6, 0);
    layout->addWidget(tabView, 1);
    layout->addWidget(filterField);
    return bar;
}

void FilterBackground::paintEvent(QPaintEvent*)
{
    const bool active = PZViewExtensions::shouldDrawWithBlueTint(this);
    const QPixmap image = PZImage::imageNamed(active ? QStringLiteral("BlueGradient24") : QStringLiteral("GrayGradient24"));
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(rect(), image);
}

void FilterBackground::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        update();
    QWidget::changeEvent(event);
}

}  // namespace ombrelay
