// A magnet link given to a later launch opens the address panel on the running window, under Xvfb.
#include "app/desktop/DesktopAppFixture.h"
#include "app/frame/KoMainWindow.h"
#include "app/openaddress/OpenTorrentURLPanel.h"
#include "app/shell/SingleInstance.h"
#include "support/HttpTestServer.h"
#include "support/PrivateDisplay.h"

#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QUuid>

namespace ombrelay::test {
namespace {

const QString kMagnet = QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567&dn=x");

TEST(MagnetHandOver, OpensThePanelOnTheRunningWindow)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    QTemporaryDir folder;
    const QString serverName = "ombrelay-test-" + QUuid::createUuid().toString(QUuid::Id128);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OMBRELAY_TEST_FOLDER", folder.path());
    environment.insert("OMBRELAY_TEST_INSTANCE", serverName);
    environment.insert("DISPLAY", display.display());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    QProcess running;
    running.setProcessEnvironment(environment);
    running.setProcessChannelMode(QProcess::ForwardedChannels);
    running.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=RunningInstance.*"});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(folder.filePath("ready")); }, 60000));
    EXPECT_TRUE(SingleInstance(serverName).handOver({kMagnet}, 5000));
    EXPECT_TRUE(waitUntil([&] { return running.state() == QProcess::NotRunning; }, 30000));
    if (running.state() != QProcess::NotRunning) {
        running.kill();
        running.waitForFinished(1000);
    }
    EXPECT_EQ(running.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(running.exitCode(), 0);
}

using RunningInstance = DesktopApp;

TEST_F(RunningInstance, ShowsTheMagnetItIsHanded)
{
    if (!qEnvironmentVariableIsSet("OMBRELAY_TEST_INSTANCE"))
        GTEST_SKIP() << "run by MagnetHandOver";
    HttpTestServer proxy;  // the lookup reaches no real host
    ASSERT_TRUE(proxy.listen());
    qputenv("http_proxy", proxy.url("/").toString(QUrl::RemovePath).toLatin1());
    qunsetenv("no_proxy");
    launch();
    SingleInstance instance(qEnvironmentVariable("OMBRELAY_TEST_INSTANCE"));
    ASSERT_TRUE(instance.listen());
    controller->listenForLaterLaunches(instance);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->mainWindow()));
    ASSERT_TRUE(writeFile(qEnvironmentVariable("OMBRELAY_TEST_FOLDER") + "/ready"));
    OpenTorrentURLPanel* panel = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        panel = controller->mainWindow()->findChild<OpenTorrentURLPanel*>();
        return panel && panel->isVisible() && panel->urlField()->text() == kMagnet;
    }, 20000));
    EXPECT_EQ(panel->parentWidget(), controller->mainWindow());
    EXPECT_TRUE(panel->isModal() || panel->windowModality() == Qt::WindowModal);
}

}  // namespace
}  // namespace ombrelay::test
