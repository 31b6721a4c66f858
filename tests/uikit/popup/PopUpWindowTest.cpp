#include "support/WaitUntil.h"
#include "uikit/PZPopUpWindow.h"

#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

// It rises into its place while fading in; a click sends it down and away, and a second click during the
// fade-out does not start another.
TEST(PopUpWindowTest, RisesInAndSinksAwayOnAClick)
{
    QWidget window;
    window.resize(400, 300);
    window.show();
    std::unique_ptr<PZPopUpWindow> popUp(PZPopUpWindow::newWindow());
    auto* label = new QLabel(QStringLiteral("Copied"));
    label->resize(120, 40);
    popUp->setContentView(label);
    EXPECT_EQ(popUp->size(), QSize(120, 40));
    popUp->popUpAtPoint(QPoint(50, 60), &window);
    test::spinFor(100);
    EXPECT_GT(popUp->pos().y(), 60);  // still rising
    EXPECT_GT(popUp->opacity(), 0.0);
    EXPECT_LT(popUp->opacity(), 1.0);
    ASSERT_TRUE(test::waitUntil([&] { return popUp->opacity() == 1.0; }, 2000));
    EXPECT_EQ(popUp->pos(), QPoint(50, 60));
    EXPECT_EQ(popUp->parentWidget(), &window);

    QTest::mouseClick(popUp.get(), Qt::LeftButton);
    ASSERT_TRUE(popUp->isFadingOut());
    test::spinFor(50);
    const QPoint sinking = popUp->pos();
    QTest::mouseClick(popUp.get(), Qt::LeftButton);
    test::spinFor(20);
    EXPECT_GE(popUp->pos().y(), sinking.y());  // the same fade goes on
    ASSERT_TRUE(test::waitUntil([&] { return !popUp->isVisible(); }, 2000));
    EXPECT_FALSE(popUp->isFadingOut());
}

}  // namespace
}  // namespace ombrelay
