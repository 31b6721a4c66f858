// The program's use of the desktop bus, on a private dbus-daemon: searches for what a fake media player
// plays, and the tray menu as a tray host reads it (com.canonical.dbusmenu) under a private X display.
#include "app/desktop/KoTrayMenu.h"
#include "app/desktop/KoiTunesController.h"
#include "app/shell/KoAppMessageBridge.h"
#include "app/shell/KoMainMenu.h"
#include "support/PrivateDisplay.h"
#include "support/WaitUntil.h"
#include "transfers/TransfersFixture.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTest>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <optional>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

class FakePlayer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
public:
    QString playbackStatus() const { return status; }
    QVariantMap metadata() const { return data; }
    QString status = QStringLiteral("Playing");
    QVariantMap data;
};

class FakeWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return registered; }
    QStringList registered;
public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        // Items may give a path instead of a service; the sender is the service then.
        registered.append(service.startsWith(QLatin1Char('/')) ? message.service() : service);
    }
    void RegisterStatusNotifierHost(const QString&) {}
};

class DaemonProcesses : public ::testing::Test
{
protected:
    void startBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        ASSERT_TRUE(daemon.waitForStarted(5000));
        ASSERT_TRUE(daemon.waitForReadyRead(5000));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        const QString tag = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
        server.emplace(QDBusConnection::connectToBus(address, QStringLiteral("server-") + tag));
        client.emplace(QDBusConnection::connectToBus(address, QStringLiteral("client-") + tag));
        ASSERT_TRUE(server->isConnected());
        ASSERT_TRUE(client->isConnected());
    }
    void TearDown() override
    {
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(5000);
        }
        for (auto* connection : {&server, &client}) {
            if (*connection) {
                const QString name = (*connection)->name();
                connection->reset();
                QDBusConnection::disconnectFromBus(name);
            }
        }
        daemon.kill();
        daemon.waitForFinished(5000);
    }

    QString address;
    QProcess daemon;
    QProcess child;
    std::optional<QDBusConnection> server;
    std::optional<QDBusConnection> client;
};

// Every "label" of a dbusmenu layout, depth first, separators as "--".
void collectLabels(const QDBusArgument& argument, QStringList& labels)
{
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    if (id != 0)
        labels.append(properties.value(QStringLiteral("type")).toString() == QLatin1String("separator")
                          ? QStringLiteral("--")
                          : properties.value(QStringLiteral("label")).toString());
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        collectLabels(child.variant().value<QDBusArgument>(), labels);
    }
    argument.endArray();
    argument.endStructure();
}

}  // namespace

TEST_F(DaemonProcesses, ThePlayersArtistOrTitleBecomesASearchWhateverItIsDoing)
{
    startBus();
    KoiTunesController::usePlayers(MediaPlayers(*client));
    QMainWindow window;
    auto* content = new QStackedWidget(&window);
    QStringList searches;
    KoAppMessageBridge::Actions actions;
    actions.search = [&](const QString& query) { searches.append(query); };
    KoMainMenu menu;
    KoAppMessageBridge bridge(&window, menu, content, actions);
    menu.build(window.menuBar());
    const QString artist = QStringLiteral("Search for Playing Artist");
    const QString song = QStringLiteral("Search for Playing Song");
    // What one menu item searches, once its queries have ended: they run on the global pool and answer on
    // the main thread, where an answer may start the next query.
    const auto searchedBy = [&](const QString& item) {
        searches.clear();
        bridge.actionWithText(item)->trigger();
        QThreadPool& queries = *QThreadPool::globalInstance();
        EXPECT_TRUE(waitUntil([&] {
            if (queries.activeThreadCount() > 0)
                return false;
            QCoreApplication::sendPostedEvents();
            return queries.activeThreadCount() == 0;
        }, 10000)) << "the player was still asked after 10 s";
        return searches.join(QLatin1Char('|'));
    };
    EXPECT_EQ(searchedBy(artist), QString()) << "no player";

    FakePlayer fake;
    ASSERT_TRUE(server->registerService(QStringLiteral("org.mpris.MediaPlayer2.fake")));
    ASSERT_TRUE(server->registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), &fake,
                                       QDBusConnection::ExportAllProperties));
    const QVariantMap track{{QStringLiteral("xesam:artist"), QStringList{QStringLiteral("Nina"), QStringLiteral("Ray")}},
                            {QStringLiteral("xesam:title"), QStringLiteral("Feeling  Good")},
                            {QStringLiteral("xesam:url"), QStringLiteral("file:///music/good.ogg")}};
    QVariantMap stream = track;
    stream[QStringLiteral("xesam:url")] = QStringLiteral("http://radio.invalid/live");
    stream[QStringLiteral("xesam:title")] = QStringLiteral("Night Show");
    const struct
    {
        const char* status;
        QVariantMap metadata;
        QString item;
        QString searched;
    } cases[] = {
        {"Playing", track, artist, QStringLiteral("Nina, Ray")},
        {"Playing", track, song, QStringLiteral("Feeling Good")},
        {"Paused", track, artist, QStringLiteral("Nina, Ray")},
        {"Paused", track, song, QStringLiteral("Feeling Good")},
        {"Stopped", {}, artist, QString()},
        {"Playing", stream, artist, QStringLiteral("Night Show")},  // a stream's title comes first
        {"Playing", stream, song, QStringLiteral("Night Show")},
    };
    for (const auto& c : cases) {
        fake.status = QString::fromLatin1(c.status);
        fake.data = c.metadata;
        EXPECT_EQ(searchedBy(c.item), c.searched) << c.status << " " << c.item.toStdString();
    }
    KoiTunesController::usePlayers(MediaPlayers(QDBusConnection::sessionBus()));
}

// Run as a child process by the test below, on the private display and bus: a tray icon with the menu.
class TrayChild : public TransfersFixture
{
};

TEST_F(TrayChild, ShowsTheTrayMenu)
{
    if (!qEnvironmentVariableIsSet("OMBRELAY_TRAY_CHILD"))
        GTEST_SKIP() << "run by TheTrayMenuIsPublishedAsADbusmenuLayout";
    addTorrent(QStringLiteral("first.iso"), TorrentLine::Complete);
    addTorrent(QStringLiteral("running.iso"), TorrentLine::Downloading);
    addTorrent(QStringLiteral("Tom & Jerry"), TorrentLine::Complete);
    KoTrayMenu tray(*controller);
    QMenu menu;
    tray.attach(&menu);
    QSystemTrayIcon icon(QIcon(QPixmap(22, 22)));
    icon.setContextMenu(&menu);
    icon.show();
    // The parent reads the menu, then leaves a file to say it is done.
    const QString done = qEnvironmentVariable("OMBRELAY_TRAY_DONE");
    for (int i = 0; i < 1500 && !QFileInfo::exists(done); ++i)
        QTest::qWait(10);
}

TEST_F(DaemonProcesses, TheTrayMenuIsPublishedAsADbusmenuLayout)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    startBus();
    FakeWatcher watcher;
    ASSERT_TRUE(server->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(server->registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    PrivateDisplay xvfb;
    const QString display = xvfb.display();
    ASSERT_FALSE(display.isEmpty());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMBRELAY_TRAY_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("OMBRELAY_TEST_SESSION_BUS"), address);  // the child test adopts it as its session bus
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
    QTemporaryDir flags;
    const QString done = flags.filePath(QStringLiteral("done"));
    env.insert(QStringLiteral("OMBRELAY_TRAY_DONE"), done);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=TrayChild.*")});
    ASSERT_TRUE(child.waitForStarted(5000));
    for (int i = 0; i < 1000 && watcher.registered.isEmpty() && child.state() == QProcess::Running; ++i)
        QTest::qWait(10);
    ASSERT_EQ(watcher.registered.size(), 1) << "the tray icon never registered";

    const QString item = watcher.registered.first();
    const auto call = [&](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(item, QStringLiteral("/MenuBar"),
                                                              QStringLiteral("com.canonical.dbusmenu"), method);
        message.setArguments(arguments);
        return client->call(message, QDBus::Block, 5000);
    };
    call(QStringLiteral("AboutToShow"), {0});  // what a tray host does before it shows the menu
    const QDBusMessage layout = call(QStringLiteral("GetLayout"), {0, -1, QStringList{QStringLiteral("label"), QStringLiteral("type")}});
    ASSERT_EQ(layout.type(), QDBusMessage::ReplyMessage) << layout.errorMessage().toStdString();
    ASSERT_EQ(layout.arguments().size(), 2);
    QStringList labels;
    collectLabels(layout.arguments().at(1).value<QDBusArgument>(), labels);
    QFile(done).open(QIODevice::WriteOnly);
    EXPECT_TRUE(child.waitForFinished(10000));
    // dbusmenu marks a mnemonic with "_": the doubled "&" arrives as a literal "&" (shown "Tom & Jerry").
    EXPECT_EQ(labels, (QStringList{QStringLiteral("Completed Downloads:"), QStringLiteral("first.iso"),
                                   QStringLiteral("Tom _& Jerry"), QStringLiteral("--"),
                                   QStringLiteral("Clear All Completed")}));
}

#include "DesktopBusTest.moc"
