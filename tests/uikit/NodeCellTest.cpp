#include "FakeOutline.h"

#include "uikit/PZTextFieldNode.h"

#include <QImage>
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

// The rows of the image holding a pixel darker than light grey, first and last; {-1, -1} when none.
std::pair<int, int> inkedRows(const QImage& image, int fromX = 0, int toX = -1)
{
    if (toX < 0)
        toX = image.width();
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = fromX; x < toX; ++x) {
            if (qGray(image.pixel(x, y)) < 160) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

int firstInkedColumn(const QImage& image)
{
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 160)
                return x;
    return -1;
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
    QImage image = canvas(200, 40);
    {
        QPainter painter(&image);
        node.draw(painter, QRect(0, 0, 200, 17), {});
    }
    const auto [top, bottom] = inkedRows(image);
    ASSERT_GE(top, 0);
    EXPECT_LT(bottom, 17);
    EXPECT_GE(top, 0);

    // In a tall row the line keeps its offset from the top.
    QImage tall = canvas(200, 41);
    {
        QPainter painter(&tall);
        node.draw(painter, QRect(0, 0, 200, 41), {});
    }
    EXPECT_GE(inkedRows(tall).first, 4);
    EXPECT_LT(inkedRows(tall).second, 4 + QFontMetrics(PZText::textAttributes11().font).height());
}

TEST(NodeCellTest, LinesStartAfterTheImageLessTwo)
{
    PlainNode withImage;
    QPixmap icon(16, 16);
    icon.fill(Qt::black);
    withImage.setImage(icon);
    withImage.setPrimary(QStringLiteral("x"));
    QImage image = canvas(100, 17);
    {
        QPainter painter(&image);
        withImage.draw(painter, QRect(0, 0, 100, 17), {});
    }
    EXPECT_EQ(withImage.leftMargin(), 17);
    EXPECT_EQ(withImage.lineRect(QRect(0, 0, 100, 41), QPoint(15, 4), PZText::textAttributes11().font).x(), 15);
    EXPECT_EQ(firstInkedColumn(image), 1);  // the image at (1, 1)

    PlainNode textOnly;
    textOnly.setPrimary(QStringLiteral("|||"));
    QImage plain = canvas(100, 17);
    {
        QPainter painter(&plain);
        textOnly.draw(painter, QRect(10, 0, 90, 17), {});
    }
    EXPECT_EQ(textOnly.leftMargin(), 0);
    EXPECT_GE(firstInkedColumn(plain), 10);
    EXPECT_LE(firstInkedColumn(plain), 13);
}

TEST(NodeCellTest, SelectedRowInTheActiveStyleUsesTheAlternateImage)
{
    PlainNode node;
    QPixmap plain(8, 8), alternate(8, 8);
    plain.fill(Qt::black);
    alternate.fill(Qt::white);
    node.setImage(plain);
    node.setAlternateImage(alternate);
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
    QPixmap big(32, 32);
    big.fill(Qt::black);
    node.setImage(big);
    node.setPrimary(QStringLiteral("Title"));
    QImage image = canvas(120, 40);
    {
        QPainter painter(&image);
        node.draw(painter, QRect(0, 0, 120, 40), {});
    }
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
        QImage image = canvas(60, 17);
        QPainter painter(&image);
        PZCellState state;
        state.object = &line;
        state.windowIsActive = true;
        cell.draw(painter, QRect(0, 0, 60, 17), state);
        painter.end();
        int darkest = 255;
        for (int y = 3; y < 16; ++y)
            for (int x = 4; x < 12; ++x)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        return darkest;
    };
    const int enabled = boxInk(true);
    const int disabled = boxInk(false);
    EXPECT_LT(enabled, 120);
    EXPECT_GT(disabled, enabled + 40);
    EXPECT_EQ(PZCheckboxCell::imageName(0, false, true), QStringLiteral("CheckboxOn"));
    EXPECT_EQ(PZCheckboxCell::imageName(2, true, false), QStringLiteral("CheckboxMixedActiveX"));
    EXPECT_EQ(PZCheckboxCell::imageName(1, false, false), QStringLiteral("CheckboxOff"));  // off looks the same
}
