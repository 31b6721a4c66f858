#include "uikit/WebStatusBar.h"

#include "uikit/PZImage.h"
#include "uikit/PaneBarArtwork.h"

#include <QGuiApplication>
#include <QWindow>
#include <QPainter>

namespace ombrelay {

WebStatusBar::WebStatusBar(QWidget* parent) : QWidget(parent)
{
    PaneBarArtwork::registerImages();
    // Any window becoming or ceasing to be the active one may change how this draws.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, qOverload<>(&QWidget::update));
}

void WebStatusBar::paintEvent(QPaintEvent*)
{
    const QPixmap image = PZImage::imageNamed(isActiveWindow() ? QStringLiteral("StatusBar16") : QStringLiteral("StatusBar16Inactive"));
    QPainter painter(this);
    painter.drawPixmap(QRect(0, 0, width(), image.height()), image);
}

}  // namespace ombrelay
