#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests run inside a Qt application object so timers, sockets and queued calls work.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
