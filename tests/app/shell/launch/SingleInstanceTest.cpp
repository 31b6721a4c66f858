#include "app/shell/SingleInstance.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QSignalSpy>
#include <future>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ombrelay;

namespace {

QString uniqueName(const char* tag)
{
    return QStringLiteral("ombrelay-test-%1-%2").arg(::getpid()).arg(QLatin1String(tag));
}

// The result of a hand-over run on another thread, serving this thread's event loop meanwhile.
bool finished(std::future<bool>& handOver)
{
    for (int i = 0; i < 50 && handOver.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return handOver.get();
}

}  // namespace

TEST(SingleInstanceTest, ALaterLaunchHandsItsArgumentsToTheRunningInstance)
{
    SingleInstance running(uniqueName("handover"));
    ASSERT_TRUE(running.listen());
    QSignalSpy received(&running, &SingleInstance::argumentsReceived);

    const QStringList arguments{QStringLiteral("/tmp/payload one.torrent"),
                                QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567"),
                                QStringLiteral("/tmp/Ünïcode.torrent")};
    auto later = std::async(std::launch::async, [&] {
        SingleInstance launch(running.serverName());
        return launch.handOver(arguments, 3000);
    });
    ASSERT_TRUE(received.wait(5000));
    EXPECT_EQ(received.first().first().toStringList(), arguments);
    EXPECT_TRUE(finished(later));

    // A launch without arguments still reaches it (the window comes to the front).
    auto bare = std::async(std::launch::async, [&] { return SingleInstance(running.serverName()).handOver({}, 3000); });
    ASSERT_TRUE(received.wait(5000));
    EXPECT_TRUE(received.last().first().toStringList().isEmpty());
    EXPECT_TRUE(finished(bare));
}

TEST(SingleInstanceTest, WithoutARunningInstanceTheLaunchKeepsItsArguments)
{
    SingleInstance launch(uniqueName("alone"));
    EXPECT_FALSE(launch.handOver({QStringLiteral("/tmp/a.torrent")}, 500));
    // It becomes the running instance, also over a socket file a crashed instance left behind.
    EXPECT_TRUE(launch.listen());
    SingleInstance second(uniqueName("alone"));
    EXPECT_TRUE(second.listen()) << "a stale name is taken over";
}

TEST(SingleInstanceTest, AnOversizedHandOverIsDropped)
{
    SingleInstance running(uniqueName("oversized"));
    ASSERT_TRUE(running.listen());
    QSignalSpy received(&running, &SingleInstance::argumentsReceived);
    QLocalSocket socket;
    socket.connectToServer(running.serverName());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(QByteArray(SingleInstance::kMaxMessage + 4096, 'a'));
    QSignalSpy disconnected(&socket, &QLocalSocket::disconnected);
    EXPECT_TRUE(disconnected.wait(5000));
    EXPECT_EQ(received.size(), 0);
}

TEST(SingleInstanceTest, ArgumentsAreMadeAbsoluteAndAddressesKept)
{
    struct Case
    {
        QString argument;
        QString expected;
    };
    const QList<Case> cases{
        {"payload.torrent", "/home/user/payload.torrent"},
        {"../other/x.tstream", "/home/other/x.tstream"},
        {"/abs/file.torrent", "/abs/file.torrent"},
        {"file:///abs/url%20file.torrent", "/abs/url file.torrent"},
        {"magnet:?xt=urn:btih:abc", "magnet:?xt=urn:btih:abc"},
        {"ombrelaysearch://ubuntu iso", "ombrelaysearch://ubuntu iso"},
    };
    for (const Case& test : cases)
        EXPECT_EQ(SingleInstance::normalizedArguments({test.argument}, "/home/user"), QStringList{test.expected})
            << test.argument.toStdString();
    EXPECT_TRUE(SingleInstance::normalizedArguments({QString()}, "/home/user").isEmpty());
}
