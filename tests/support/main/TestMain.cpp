#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests run inside a Qt application object so timers, sockets and queued calls work.
int main(int argc, char** argv)
{
    // Nothing reaches the user's session bus: tests that talk D-Bus start a private one (a test run as a
    // child process is handed its parent's).
    const QByteArray testBus = qgetenv("OMBRELAY_TEST_SESSION_BUS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", testBus.isEmpty() ? QByteArray("unix:path=/nonexistent/ombrelay-tests") : testBus);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
