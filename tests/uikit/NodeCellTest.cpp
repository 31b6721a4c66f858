#include "FakeOutline.h"
#include "support/Pictures.h"

#include "uikit/PZText.h"
#include "uikit/PZTextFieldNode.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

// The bounding box of the pixels darker than `grey` (light grey unless told); null when there are none.
QRect inkBounds(const QImage& image, int grey = 160)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < grey)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// What a cell draws in a frame on a white canvas.
QImage drawn(PZTrackingCell& cell, const QSize& size, const QRect& frame, const PZCellState& state = {})
{
    QImage image = canvas(size.width(), size.height());
    QPainter painter(&image);
    cell.draw(painter, frame, state);
    return image;
}

QPixmap filled(int edge, Qt::GlobalColor color)
{
    QPixmap pixmap(edge, edge);
    pixmap.fill(color);
    return pixmap;
}

class PlainNode : public PZNode
{
public:
    using PZNode::drawInterior;
};

}  // namespace

TEST(NodeCellTest, TextLinesStayInsideRowsOf17Pixels)
{
    PlainNode node;
    node.setPrimary(QStringLiteral("Égypte gjpqy|"));
    const QRect ink = inkBounds(drawn(node, QSize(200, 40), QRect(0, 0, 200, 17)));
    ASSERT_FALSE(ink.isNull());
    EXPECT_LT(ink.bottom(), 17);

    // In a tall row the line keeps its offset from the top.
    const QRect tall = inkBounds(drawn(node, QSize(200, 41), QRect(0, 0, 200, 41)));
    EXPECT_GE(tall.top(), 4);
    EXPECT_LT(tall.bottom(), 4 + QFontMetrics(PZText::textAttributes11().font).height());
}

TEST(NodeCellTest, LinesStartAfterTheImageLessTwo)
{
    PlainNode withImage;
    withImage.setImage(filled(16, Qt::black));
    withImage.setPrimary(QStringLiteral("x"));
    const QImage image = drawn(withImage, QSize(100, 17), QRect(0, 0, 100, 17));
    EXPECT_EQ(withImage.leftMargin(), 17);
    EXPECT_EQ(withImage.lineRect(QRect(0, 0, 100, 41), QPoint(15, 4), PZText::textAttributes11().font).x(), 15);
    EXPECT_EQ(inkBounds(image).topLeft(), QPoint(1, 1));  // the image at (1, 1)

    PlainNode textOnly;
    textOnly.setPrimary(QStringLiteral("|||"));
    const QImage plain = drawn(textOnly, QSize(100, 17), QRect(10, 0, 90, 17));
    EXPECT_EQ(textOnly.leftMargin(), 0);
    EXPECT_GE(inkBounds(plain).left(), 10);
    EXPECT_LE(inkBounds(plain).left(), 13);
}

TEST(NodeCellTest, SelectedRowInTheActiveStyleUsesTheAlternateImage)
{
    PlainNode node;
    node.setImage(filled(8, Qt::black));
    node.setAlternateImage(filled(8, Qt::white));
    struct Case
    {
        bool highlighted, firstResponder;
        int grey;
    };
    const Case cases[] = {{true, true, 255}, {true, false, 0}, {false, true, 0}};
    for (const Case& c : cases) {
        QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::red);
        {
            QPainter painter(&image);
            PZCellState state;
            state.highlighted = c.highlighted;
            state.hostIsFirstResponder = c.firstResponder;
            node.draw(painter, QRect(0, 0, 20, 20), state);
        }
        EXPECT_EQ(qGray(image.pixel(4, 4)), c.grey) << c.highlighted << c.firstResponder;
    }
}

TEST(NodeCellTest, TextFieldNodeDrawsItsImageAt16Pixels)
{
    class Node : public PZTextFieldNode
    {
    public:
        using PZTextFieldNode::drawInterior;
    } node;
    node.setImage(filled(32, Qt::black));
    node.setPrimary(QStringLiteral("Title"));
    const QImage image = drawn(node, QSize(120, 40), QRect(0, 0, 120, 40));
    EXPECT_EQ(node.leftMargin(), 17);
    EXPECT_LT(qGray(image.pixel(16, 16)), 40);
    EXPECT_GT(qGray(image.pixel(20, 30)), 200);  // nothing of the image past 1 + 16
}

TEST(NodeCellTest, DisabledCheckboxIsDrawnAtHalfOpacity)
{
    FakeNameCell cell;
    FakeLine line(QStringLiteral("file"));
    line.checkbox = 0;
    auto boxInk = [&](bool enabled) {
        line.enabled = enabled;
        PZCellState state;
        state.object = &line;
        state.windowIsActive = true;
        return darkestGrey(drawn(cell, QSize(60, 17), QRect(0, 0, 60, 17), state), QRect(4, 3, 8, 13));
    };
    const int enabled = boxInk(true);
    const int disabled = boxInk(false);
    EXPECT_LT(enabled, 120);
    EXPECT_GT(disabled, enabled + 40);
    EXPECT_EQ(PZCheckboxCell::imageName(0, false, true), QStringLiteral("CheckboxOn"));
    EXPECT_EQ(PZCheckboxCell::imageName(2, true, false), QStringLiteral("CheckboxMixedActiveX"));
    EXPECT_EQ(PZCheckboxCell::imageName(1, false, false), QStringLiteral("CheckboxOff"));  // off looks the same
}

TEST(NodeCellTest, ALineDrawsItsShadowOneRowUnderItsText)
{
    // White text on white: only a shadow leaves ink.
    const auto shadeOf = [](const PZShadow& shadow) {
        PlainNode node;
        QImage image = canvas(120, 20);
        QPainter painter(&image);
        node.drawString(painter, QStringLiteral("Shadowed"), QRect(0, 0, 120, 20), {2, 2},
                        {PZText::systemFont(12, true), Qt::white, PZText::truncatingParagraphStyle(), shadow});
        painter.end();
        return inkBounds(image, 245);
    };
    PlainNode node;
    QImage black = canvas(120, 20);
    QPainter painter(&black);
    node.drawString(painter, QStringLiteral("Shadowed"), QRect(0, 0, 120, 20), {2, 2},
                    {PZText::systemFont(12, true), Qt::black, PZText::truncatingParagraphStyle()});
    painter.end();
    const QRect text = inkBounds(black);
    ASSERT_FALSE(text.isNull());

    struct Case
    {
        const char* name;
        PZShadow shadow;
        bool shaded;
    };
    const Case cases[] = {
        {"none", {}, false},
        {"the alternate rows'", PZText::alternateShadow(), true},
    };
    for (const Case& c : cases) {
        const QRect shade = shadeOf(c.shadow);
        EXPECT_EQ(!shade.isNull(), c.shaded) << c.name;
        if (c.shaded) {
            EXPECT_EQ(shade.left(), text.left()) << c.name;
            EXPECT_GE(shade.top(), text.top() + 1) << c.name << ": drawn below the text";
            EXPECT_LE(shade.bottom(), text.bottom() + 2) << c.name;
        }
    }
}
