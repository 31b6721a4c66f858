#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run on the offscreen platform unless a display is asked for explicitly.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Windows under Xvfb, here and in every child, skip GLX: Mesa's software driver, unloaded after Qt's
    // probe, leaves an allocation the leak checker reports as lost.
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    // Nothing reaches the user's session bus: tests that talk D-Bus start a private one (a test run as a
    // child process is handed its parent's).
    const QByteArray testBus = qgetenv("OMBRELAY_TEST_SESSION_BUS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", testBus.isEmpty() ? QByteArray("unix:path=/nonexistent/ombrelay-tests") : testBus);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
