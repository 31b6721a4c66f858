#include "app/tabs/SquareTabArtwork.h"

#include "app/tabs/PZSquareTabButton.h"
#include "uikit/PZArtwork.h"
#include "uikit/PZImage.h"

#include <QPainter>
#include <QPainterPath>

namespace ombrelay {

namespace {

constexpr int kHeight = PZSquareTabButton::kHeight;
constexpr int kCap = SquareTabArtwork::kCapWidth;

struct TabLook
{
    QColor top;
    QColor bottom;
    QColor border;
};

// A tab's outline over `width`: curved sides rising from the bottom corners to a flat top.
QPainterPath outline(qreal left, qreal right)
{
    QPainterPath path;
    path.moveTo(left, kHeight);
    path.cubicTo(left + 5, kHeight, left + 4, 0.5, left + 10, 0.5);
    path.lineTo(right - 10, 0.5);
    path.cubicTo(right - 4, 0.5, right - 5, kHeight, right, kHeight);
    return path;
}

// Drawn `width` wide, of which `from` to `from + columns` is kept.
QImage tab(const TabLook& look, int width, int from, int columns)
{
    QImage image = PZArtwork::blank(columns, kHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-from, 0);
    QLinearGradient fill(0, 0, 0, kHeight);
    fill.setColorAt(0, look.top);
    fill.setColorAt(1, look.bottom);
    painter.setBrush(fill);
    painter.setPen(look.border);
    painter.drawPath(outline(0, width));
    return image;
}

void registerTab(const char* name, const TabLook& look)
{
    PZImage::registerDrawing(QLatin1String(name), [look] { return tab(look, 40, 0, 40); });
}

// The selected tab in three parts: its left cap, its right cap and a column of its flat middle.
void registerSelected(const QString& prefix, const TabLook& look)
{
    constexpr int width = 3 * kCap;
    PZImage::registerDrawing(prefix + QStringLiteral("Left"), [look] { return tab(look, width, 0, kCap); });
    PZImage::registerDrawing(prefix + QStringLiteral("Right"), [look] { return tab(look, width, width - kCap, kCap); });
    PZImage::registerDrawing(prefix + QStringLiteral("Fill"), [look] { return tab(look, width, kCap, 1); });
}

}  // namespace

void SquareTabArtwork::registerImages()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    const QColor border(128, 128, 130);
    const QColor paleBorder(164, 164, 166);
    registerTab("TabInactive", {QColor(206, 210, 217), QColor(188, 193, 201), border});
    registerTab("TabHover", {QColor(222, 226, 232), QColor(204, 209, 216), border});
    registerTab("TabInactiveAlternate", {QColor(222, 222, 222), QColor(210, 210, 210), paleBorder});
    registerTab("TabHoverAlternate", {QColor(234, 234, 234), QColor(222, 222, 222), paleBorder});
    registerSelected(QStringLiteral("TabSelected"), {QColor(250, 250, 251), QColor(236, 238, 242), border});
    registerSelected(QStringLiteral("TabSelectedInactive"), {QColor(244, 244, 244), QColor(234, 234, 234), paleBorder});
    PZImage::registerDrawing(QStringLiteral("TabShadow"),
                             [] { return PZArtwork::verticalGradient(6, QColor(0, 0, 0, 46), QColor(0, 0, 0, 0)); });
}

}  // namespace ombrelay
