#include "transfers/DownloadsPaneView.h"

#include <QPainter>

namespace ombrelay {

void DownloadsPaneView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int grey = isActiveWindow() ? 87 : 135;
    painter.fillRect(QRect(0, 0, width(), 1), QColor(grey, grey, grey));
}

}  // namespace ombrelay
