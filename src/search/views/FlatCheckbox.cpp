#include "search/views/FlatCheckbox.h"

#include "transfers/ShadowedTextField.h"
#include "uikit/PZImage.h"
#include "uikit/PaneBarArtwork.h"

#include <QPainter>
#include <cmath>

namespace ombrelay {

FlatCheckbox::FlatCheckbox(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    PaneBarArtwork::registerImages();
    setText(title);
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize FlatCheckbox::sizeHint() const
{
    return QSize(kTitleOffset + int(std::ceil(fontMetrics().horizontalAdvance(text()))) + 4,
                 std::max(16, fontMetrics().height() + 2));
}

QString FlatCheckbox::imageName() const
{
    QString name = isChecked() ? QStringLiteral("FlatCheckboxChecked") : QStringLiteral("FlatCheckboxUnchecked");
    return isDown() ? name + QStringLiteral("Active") : name;
}

void FlatCheckbox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPixmap box = PZImage::flippedImageNamed(imageName());
    painter.drawPixmap(QPoint(2, (height() - box.height()) / 2), box);
    const QRect title = rect().adjusted(kTitleOffset, 0, 0, 0);
    const PZShadow& shade = ShadowedTextField::shadow();
    painter.setPen(shade.color);
    painter.drawText(QRectF(title).translated(shade.offset), Qt::AlignLeft | Qt::AlignVCenter, text());
    painter.setPen(Qt::white);
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, text());
}

}  // namespace ombrelay
