#include "support/WaitUntil.h"
#include "uikit/PZPopUpWindow.h"

#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPointer>
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
    // The animations' own clock: each fade is held at a point of its course, then let go.
    QPointer<QParallelAnimationGroup> rise = popUp->findChild<QParallelAnimationGroup*>();
    ASSERT_TRUE(rise);
    rise->pause();
    rise->setCurrentTime(rise->duration() / 3);
    EXPECT_GT(popUp->pos().y(), 60);  // still rising
    EXPECT_GT(popUp->opacity(), 0.0);
    EXPECT_LT(popUp->opacity(), 1.0);
    rise->resume();
    ASSERT_TRUE(test::waitUntil([&] { return !rise || rise->state() == QAbstractAnimation::Stopped; }, 5000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the finished fade goes
    EXPECT_FALSE(rise);
    EXPECT_EQ(popUp->opacity(), 1.0);
    EXPECT_EQ(popUp->pos(), QPoint(50, 60));
    EXPECT_EQ(popUp->parentWidget(), &window);

    QTest::mouseClick(popUp.get(), Qt::LeftButton);
    ASSERT_TRUE(popUp->isFadingOut());
    const QList<QParallelAnimationGroup*> fades = popUp->findChildren<QParallelAnimationGroup*>();
    ASSERT_EQ(fades.size(), 1);
    QParallelAnimationGroup* sink = fades.first();
    sink->pause();
    sink->setCurrentTime(sink->duration() / 2);
    const QPoint sinking = popUp->pos();
    EXPECT_GT(sinking.y(), 60);
    QTest::mouseClick(popUp.get(), Qt::LeftButton);
    EXPECT_EQ(popUp->findChildren<QParallelAnimationGroup*>(), fades) << "the same fade goes on";
    EXPECT_EQ(popUp->pos(), sinking);
    sink->resume();
    ASSERT_TRUE(test::waitUntil([&] { return !popUp->isVisible(); }, 5000));
    EXPECT_FALSE(popUp->isFadingOut());
}

}  // namespace
}  // namespace ombrelay
