// Run on a private display by the tests that take pictures of the screen: the screen as it is, saved in
// OMBRELAY_SCREEN_PICTURE.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <gtest/gtest.h>

TEST(ScreenOfTheDisplay, DISABLED_IsSaved)
{
    const QString path = qEnvironmentVariable("OMBRELAY_SCREEN_PICTURE");
    ASSERT_FALSE(path.isEmpty());
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    const QPixmap shot = screen->grabWindow(0);
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(path));
}
