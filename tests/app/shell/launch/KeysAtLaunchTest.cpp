// The built application's first moments as a new user meets them, under a private X server: the window
// opens centred, the menu's keys work while the search field has the focus, and Ctrl+Q or the window's
// close button (no tray host runs) quits while a panel is up, closing it first.
#include "app/shell/launch/AppUnderXvfb.h"

#include "support/CloseButton.h"

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class KeysAtLaunch : public AppUnderXvfb
{
protected:
    QString focusedWindowName() const
    {
        const QByteArray name = xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")});
        return QString::fromUtf8(name.trimmed());
    }
    // "X", "Y", "WIDTH" and "HEIGHT" of the program's one shown window.
    QMap<QString, int> mainWindowGeometry() const
    {
        const QByteArray id = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                                       QStringLiteral("^ombrelay$")})
                                  .trimmed();
        QMap<QString, int> geometry;
        const QByteArray shell =
            xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(id)});
        for (const QByteArray& line : shell.split('\n')) {
            const int equals = int(line.indexOf('='));
            if (equals > 0)
                geometry.insert(QString::fromLatin1(line.left(equals)), line.mid(equals + 1).toInt());
        }
        return geometry;
    }
    void key(const char* keys) const { xdotool({QStringLiteral("key"), QString::fromLatin1(keys)}); }
    QByteArray mainWindowId() const
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                        QStringLiteral("^Ombrelay$")})
            .trimmed();
    }
};

}  // namespace

TEST_F(KeysAtLaunch, AMenuKeyActsFromTheSearchFieldAndQuitClosesTheOpenPanelFirst)
{
    struct Case
    {
        const char* opens;  // typed at launch, with the focus in the toolbar's search field
        const char* panelTitle;
        bool closeButton;  // else Ctrl+Q
    };
    const Case cases[] = {
        {"ctrl+u", "Open Address", false},  // the field's own Ctrl+U would clear its line
        {"ctrl+o", "Open", true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.opens);
        writeSettings();
        auto app = launch({});
        const auto shownWithFocus = [this] { return windowIsShown() && focusedWindowName() == QStringLiteral("Ombrelay"); };
        ASSERT_TRUE(app->waitFor(shownWithFocus, 30000))
            << "no focused window: " << app->output().right(2000).toStdString();

        // No frame stored: the window stands in the middle of the screen (1280 x 800).
        const QMap<QString, int> frame = mainWindowGeometry();
        ASSERT_TRUE(frame.contains(QStringLiteral("WIDTH")));
        EXPECT_NEAR(frame[QStringLiteral("X")], (1280 - frame[QStringLiteral("WIDTH")]) / 2, 1);
        EXPECT_NEAR(frame[QStringLiteral("Y")], (800 - frame[QStringLiteral("HEIGHT")]) / 2, 1);

        const quint32 windowId = mainWindowId().toUInt();
        ASSERT_NE(windowId, 0u);
        key(test.opens);
        EXPECT_TRUE(app->waitFor([&] { return focusedWindowName() == QLatin1String(test.panelTitle); }, 10000))
            << "the focus is in \"" << focusedWindowName().toStdString() << "\"";
        ASSERT_EQ(visibleWindowCount(), 2);

        if (test.closeButton)
            ASSERT_TRUE(clickCloseButton(display->display(), windowId));
        else
            key("ctrl+q");
        ASSERT_TRUE(app->waitForExit(20000)) << "quit with a panel up: " << app->output().right(2000).toStdString();
        EXPECT_EQ(app->exitCode(), 0) << app->output().right(2000).toStdString();
        // The frame saved at quit is the one restored at the next launch.
        Settings::instance().sync();
        EXPECT_FALSE(Settings::instance().string(QStringLiteral("kKoMainWindow")).isEmpty());
        Settings::instance().remove(QStringLiteral("kKoMainWindow"));
        Settings::instance().sync();
    }
}
