#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests run inside a Qt application object so timers, sockets and queued calls work.
int main(int argc, char** argv)
{
    // Nothing reaches the user's session bus: tests that talk D-Bus start a private one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ombrelay-tests");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
