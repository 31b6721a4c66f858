#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run on the offscreen platform unless a display is asked for explicitly.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing reaches the user's session bus: tests that talk D-Bus start a private one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ombrelay-tests");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
