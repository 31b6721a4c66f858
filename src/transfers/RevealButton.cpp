#include "transfers/RevealButton.h"

#include "transfers/DesktopFiles.h"
#include "transfers/InfoArtwork.h"
#include "uikit/PZImage.h"

#include <QPainter>

namespace ombrelay {

RevealButton::RevealButton(PathSource source, QWidget* parent) : QAbstractButton(parent), m_source(std::move(source))
{
    InfoArtwork::registerImages();
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, [this] { action(); });
}

void RevealButton::action()
{
    const QString path = m_source ? m_source() : QString();
    if (!path.isEmpty())
        DesktopFiles::reveal(path);
}

void RevealButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), PZImage::flippedImageNamed(isDown() ? QStringLiteral("RevealActive14")
                                                                   : QStringLiteral("Reveal14")));
}

}  // namespace ombrelay
