#include "uikit/FlatButton.h"

#include "kit/NotificationCenter.h"
#include "uikit/PZImage.h"
#include "uikit/PZImageDrawing.h"
#include "uikit/PaneBarArtwork.h"

#include <QPainter>
#include <cmath>

namespace ombrelay {

FlatButton::FlatButton(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    PaneBarArtwork::registerImages();
    setText(title);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    setFont(small);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void FlatButton::followNewItemsOf(QObject* target, std::function<bool()> hasNewItems)
{
    setEnabled(hasNewItems());
    listenForNotification(
        this, QStringLiteral("RSSOutlineViewStatusChanged"),
        [this, hasNewItems = std::move(hasNewItems)](const Notification&) { setEnabled(hasNewItems()); }, target);
}

QSize FlatButton::sizeHint() const
{
    return QSize(int(std::ceil(fontMetrics().horizontalAdvance(text()))) + kTitlePadding, kHeight);
}

QString FlatButton::imageName() const
{
    if (isDown())
        return QStringLiteral("FlatButtonActive");
    return isEnabled() ? QStringLiteral("FlatButton") : QStringLiteral("FlatButtonInactive");
}

void FlatButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PZImageDrawing::drawInRect(painter, PZImage::flippedImageNamed(imageName()), QRectF(rect()), 4);
    painter.setPen(isEnabled() ? QColor(Qt::white) : QColor(255, 255, 255, 110));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

}  // namespace ombrelay
