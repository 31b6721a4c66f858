// The application as a user runs it, under a private X server: a libtorrent seeder announces to an
// opentracker on loopback, `ombrelay payload.torrent` downloads it in a fresh settings and data folder,
// a later launch hands its torrent to the running instance, and a restart shows the transfer complete.
#include "engine/torrent/Metainfo.h"
#include "engine/torrent/TorrentFixtures.h"
#include "LoopbackFeed.h"
#include "interop/support/HelperProcess.h"
#include "kit/Settings.h"
#include "support/OpentrackerProcess.h"
#include "support/Pictures.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <unistd.h>
#include <optional>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kXvfb = QStringLiteral("/usr/bin/Xvfb");

QString peerScript()
{
    return testSourcePath(QStringLiteral("interop/peers/lt_peer.py"));
}

QString applicationPath()
{
    const QString chosen = qEnvironmentVariable("OMBRELAY_APP");
    if (!chosen.isEmpty())
        return chosen;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../src/app/ombrelay"));
}

// A process whose output (both channels) is kept and searched.
class WatchedProcess
{
public:
    WatchedProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
    }
    ~WatchedProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // True once the output holds `text`; false after `timeoutMs` or when the process ended without it.
    bool waitForText(const QString& text, int timeoutMs)
    {
        return waitFor([&] { return m_output.contains(text); }, timeoutMs);
    }
    // Polls `condition` while reading the output, until it holds, the process ends or `timeoutMs` passed.
    bool waitFor(const std::function<bool()>& condition, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition() && timer.elapsed() < timeoutMs && m_process.state() != QProcess::NotRunning) {
            // Servers of the test answer meanwhile.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            m_process.waitForReadyRead(50);
            m_output += QString::fromUtf8(m_process.readAll());
        }
        m_output += QString::fromUtf8(m_process.readAll());
        return condition();
    }
    bool terminate(int timeoutMs)
    {
        if (m_process.state() == QProcess::NotRunning)
            return false;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        const bool finished = m_process.waitForFinished(timeoutMs);
        m_output += QString::fromUtf8(m_process.readAll());
        return finished && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    bool waitForExit(int timeoutMs)
    {
        const bool finished = m_process.waitForFinished(timeoutMs);
        m_output += QString::fromUtf8(m_process.readAll());
        return finished;
    }
    int exitCode() const { return m_process.exitCode(); }
    QString output() const { return m_output; }

private:
    QProcess m_process;
    QString m_output;
};

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kXvfb).isExecutable() || !OpentrackerProcess::isInstalled() ||
            !QFileInfo(kPython).isExecutable())
            GTEST_SKIP() << "needs Xvfb, opentracker and python3-libtorrent (scripts/install-deps)";
        ASSERT_TRUE(QFileInfo(applicationPath()).isExecutable()) << applicationPath().toStdString();
        ASSERT_TRUE(root.isValid());
        for (const char* name : {"home", "config", "data", "tmp", "runtime", "Downloads", "seed", "other"})
            ASSERT_TRUE(QDir(root.path()).mkpath(QLatin1String(name)));
        QFile::setPermissions(path("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        startDisplay();
    }

    QString path(const char* name) const { return root.filePath(QLatin1String(name)); }

    // A private X server; its display number is written on its standard output.
    void startDisplay()
    {
        xvfb.setProcessChannelMode(QProcess::SeparateChannels);
        xvfb.start(kXvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("1200x800x24")});
        QElapsedTimer timer;
        timer.start();
        while (!xvfb.canReadLine() && timer.elapsed() < 10000 && xvfb.state() != QProcess::NotRunning)
            xvfb.waitForReadyRead(100);
        const QByteArray number = xvfb.readLine().trimmed();
        ASSERT_FALSE(number.isEmpty()) << "Xvfb gave no display: " << xvfb.readAllStandardError().constData();
        display = QStringLiteral(":") + QString::fromLatin1(number);
    }
    void TearDown() override
    {
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            if (!xvfb.waitForFinished(3000))
                xvfb.kill();
            xvfb.waitForFinished(1000);
        }
    }

    // Everything the program reads from its surroundings points into the test's folder.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        env.insert(QStringLiteral("TMPDIR"), path("tmp"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + path("no-bus"));
        env.insert(QStringLiteral("OMBRELAY_NO_PORT_MAPPING"), QStringLiteral("1"));
        env.remove(QStringLiteral("http_proxy"));
        env.remove(QStringLiteral("https_proxy"));
        return env;
    }

    // The settings file the program will read: downloads into the test's folder, a random port.
    void writeSettings()
    {
        Settings::useFile(path("config") + QStringLiteral("/Ombrelay/Ombrelay.conf"));
        Settings& settings = Settings::instance();
        settings.setValue(QStringLiteral("save_directory"), path("Downloads"));
        settings.setValue(QStringLiteral("kRandomPort"), true);
        settings.setValue(QStringLiteral("kDeleteOriginalTorrent"), false);
        settings.setValue(QStringLiteral("kUseIncompleteFolder"), false);
        settings.sync();
    }

    // payload.bin and payload.torrent in `folder`; returns the info hash in hex.
    QString makePayload(const QString& folder, const QString& announce)
    {
        QProcess make;
        make.start(kPython, {peerScript(), QStringLiteral("make"), QStringLiteral("--dir"), folder,
                             QStringLiteral("--size"), QStringLiteral("1500001"), QStringLiteral("--announce"),
                             announce});
        if (!make.waitForFinished(60000) || make.exitCode() != 0) {
            ADD_FAILURE() << "lt_peer.py make: " << make.readAllStandardError().constData();
            return {};
        }
        return QString::fromLatin1(make.readAllStandardOutput().trimmed());
    }

    std::unique_ptr<WatchedProcess> launch(const QStringList& arguments)
    {
        return std::make_unique<WatchedProcess>(applicationPath(), arguments, environment());
    }

    bool windowIsShown()
    {
        QProcess info;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        info.setProcessEnvironment(env);
        info.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
        return info.waitForFinished(5000) && info.readAllStandardOutput().contains("\"Ombrelay\"");
    }

    // xdotool on the display; its standard output.
    std::optional<QString> xdotool(const QStringList& arguments)
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(tool.readAllStandardOutput());
    }
    // Ctrl+1 in the main window, which selects the first feed with something to show; the window's frame
    // on the screen.
    std::optional<QRect> showFirstFeed()
    {
        const auto window = mainWindow();
        if (!window || !xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window->first})
            || !xdotool({QStringLiteral("key"), QStringLiteral("ctrl+1")}))
            return std::nullopt;
        return window->second;
    }
    // The main window's id and its frame on the screen.
    std::optional<std::pair<QString, QRect>> mainWindow()
    {
        const QString id = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                    QStringLiteral("^Ombrelay$")}).value_or(QString()).section(QLatin1Char('\n'), 0, 0);
        if (id.isEmpty())
            return std::nullopt;
        QHash<QString, int> values;
        const QString shell = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id}).value_or(QString());
        for (const QString& line : shell.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            values.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1).toInt());
        const QRect frame(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                          values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT")));
        if (frame.isEmpty())
            return std::nullopt;
        return std::make_pair(id, frame);
    }
    // The application with web pages on Chromium's software drawing, the sanitizers told about Chromium's
    // own allocations.
    std::unique_ptr<WatchedProcess> launchForInput()
    {
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("new_delete_type_mismatch=0:alloc_dealloc_mismatch=0"));
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=") + testSourcePath(QStringLiteral("app/web/lsan.supp")));
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   QStringLiteral("--disable-gpu --disable-background-networking --disable-component-update"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        if (::geteuid() == 0)
            env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        return std::make_unique<WatchedProcess>(applicationPath(), QStringList(), env);
    }
    // Pictures of the screen in `picture` until a feed pane shows in the window (the dark bar above the
    // status bar at its bottom); the last one, null when none showed it.
    QImage feedPaneDrawn(const QRect& window, const QString& picture)
    {
        const QPoint bar(window.center().x(), window.bottom() + 1 - 16 - 12);
        for (int attempt = 0; attempt < 10; ++attempt) {
            const QImage screen = screenshot(picture);
            if (!screen.isNull() && screen.rect().contains(bar) && qGray(screen.pixel(bar)) < 130)
                return screen;
        }
        return {};
    }
    // The whole screen, saved by this program run again on the display.
    QImage screenshot(const QString& path)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("OMBRELAY_SCREEN_PICTURE"), path);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_also_run_disabled_tests"), QStringLiteral("--gtest_filter=Screen.DISABLED_Saved")});
        const bool finished = child.waitForFinished(30000);
        const QByteArray output = child.readAll();
        EXPECT_TRUE(finished && child.exitCode() == 0 && output.contains("[  PASSED  ] 1 test")) << output.right(3000).constData();
        return QImage(path);
    }

    QTemporaryDir root;
    QProcess xvfb;
    QString display;
};

}  // namespace

TEST_F(EndToEnd, DownloadsFromASeederHandsOverLaterLaunchesAndRestoresTheTransferComplete)
{
    // The info hash does not depend on the tracker address: made once to whitelist it, once to use.
    const QString infoHash = makePayload(path("seed"), QStringLiteral("http://127.0.0.1:9/announce"));
    ASSERT_EQ(infoHash.size(), 40);
    OpentrackerProcess tracker;
    const BValue otherInfo = singleFileInfo(QStringLiteral("second.bin"), 300000);
    const QByteArray otherData = metainfo(otherInfo, QStringLiteral("http://127.0.0.1:9/announce"));
    const QByteArray otherHash = Metainfo::read(otherData)->infoHash;
    ASSERT_TRUE(tracker.start({QByteArray::fromHex(infoHash.toLatin1()), otherHash}));
    ASSERT_EQ(makePayload(path("seed"), tracker.announceAddress()), infoHash);
    QFile other(root.filePath(QStringLiteral("other/second.torrent")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write(otherData);
    other.close();
    writeSettings();

    HelperProcess seeder(kPython, {peerScript(), QStringLiteral("seed"), QStringLiteral("--torrent"),
                                   path("seed") + QStringLiteral("/payload.torrent"), QStringLiteral("--save"),
                                   path("seed"), QStringLiteral("--encryption"), QStringLiteral("enabled"),
                                   QStringLiteral("--seconds"), QStringLiteral("120")});
    ASSERT_FALSE(seeder.waitForLine("ready", 30000).isEmpty());

    const QString completeLine = QStringLiteral("Transfer %1 \"payload.bin\": complete").arg(infoHash);
    {
        auto app = launch({path("seed") + QStringLiteral("/payload.torrent")});
        EXPECT_TRUE(app->waitFor([this] { return windowIsShown(); }, 20000)) << "no window on " << display.toStdString();
        ASSERT_TRUE(app->waitForText(completeLine, 60000)) << app->output().right(3000).toStdString();
        QFile expected(path("seed") + QStringLiteral("/payload.bin"));
        QFile downloaded(path("Downloads") + QStringLiteral("/payload.bin"));
        ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
        ASSERT_TRUE(downloaded.open(QIODevice::ReadOnly));
        EXPECT_EQ(downloaded.readAll(), expected.readAll()) << "the downloaded bytes differ";

        // A second launch hands its torrent over and exits at once.
        auto second = launch({root.filePath(QStringLiteral("other/second.torrent"))});
        ASSERT_TRUE(second->waitForExit(15000));
        EXPECT_EQ(second->exitCode(), 0) << second->output().toStdString();
        EXPECT_FALSE(second->output().contains(QStringLiteral("Transfer "))) << "the second launch ran its own engine";
        EXPECT_TRUE(app->waitForText(QStringLiteral("Transfer %1 \"second.bin\"").arg(QString::fromLatin1(otherHash.toHex())),
                                     10000))
            << app->output().right(2000).toStdString();

        EXPECT_TRUE(app->terminate(20000)) << "SIGTERM takes the quit path: " << app->output().right(2000).toStdString();
    }
    {
        // Started again without arguments: both transfers come back from the session folders, the first complete.
        auto app = launch({});
        EXPECT_TRUE(app->waitForText(completeLine, 30000)) << app->output().right(3000).toStdString();
        EXPECT_TRUE(app->waitForText(QStringLiteral("\"second.bin\""), 5000));
        EXPECT_FALSE(app->output().contains(QStringLiteral("\"payload.bin\": downloading")))
            << "restored complete, not downloaded again";
        EXPECT_TRUE(app->terminate(20000));
    }
}

// Run on a display by EndToEnd tests: the screen as it is, in OMBRELAY_SCREEN_PICTURE.
TEST(Screen, DISABLED_Saved)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(qEnvironmentVariable("OMBRELAY_SCREEN_PICTURE")));
}

// A subscription stored in the sidebar, its feed on a loopback server: Ctrl+1 shows it, which asks for
// the entries' torrents newest first; the sidebar counts 3 new entries, and the pane's Mark All Read
// button clears the count.
TEST_F(EndToEnd, AStoredFeedShowsItsEntriesAndMarkAllReadClearsItsCount)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs xdotool";
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    routeLoopbackFeed(server);
    writeSettings();
    storeFeedItem(Settings::instance(), server, QStringLiteral("Loopback"));

    auto app = launchForInput();
    ASSERT_TRUE(app->waitFor([this] { return windowIsShown(); }, 20000)) << "no window on " << display.toStdString();
    ASSERT_TRUE(app->waitForText(QStringLiteral("Feed \"Loopback\": 3 listed, 3 new"), 20000))
        << app->output().right(2000).toStdString();
    EXPECT_TRUE(torrentRequests(server).isEmpty()) << "nothing is fetched for a feed not shown";

    const std::optional<QRect> window = showFirstFeed();
    ASSERT_TRUE(window);
    ASSERT_TRUE(app->waitFor([&] { return torrentRequests(server).size() == 3; }, 15000))
        << app->output().right(2000).toStdString();
    EXPECT_EQ(torrentRequests(server), QList<QByteArray>({"/t/new.torrent", "/t/mid.torrent", "/t/old.torrent"}));

    // The window's bottom bar holds Mark All Read at its right end.
    const int right = window->right() + 1;
    const int bottom = window->bottom() + 1;
    const QString picture = picturePath("OMBRELAY_FEED_WINDOW_PICTURE", QStringLiteral("app-feed-pane.png"));
    EXPECT_FALSE(feedPaneDrawn(*window, picture).isNull()) << "no feed pane bottom bar in " << picture.toStdString();

    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(right - 30), QString::number(bottom - 16 - 12),
                         QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(app->waitForText(QStringLiteral("Feed \"Loopback\": 3 listed, 0 new"), 10000))
        << app->output().right(2000).toStdString();
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(6000).toStdString();
}

// A feed entry without a torrent is an article: a double-click on it opens its page in a new web tab of
// the feed's pane.
TEST_F(EndToEnd, AFeedArticleOpensItsPageInAWebTabOfThePane)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs xdotool";
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    routeArticleFeed(server);
    writeSettings();
    storeFeedItem(Settings::instance(), server, QStringLiteral("Articles"), "/articles");

    auto app = launchForInput();
    ASSERT_TRUE(app->waitFor([this] { return windowIsShown(); }, 20000)) << "no window on " << display.toStdString();
    ASSERT_TRUE(app->waitForText(QStringLiteral("Feed \"Articles\": 1 listed, 1 new"), 20000))
        << app->output().right(2000).toStdString();
    const std::optional<QRect> window = showFirstFeed();
    ASSERT_TRUE(window);
    const QString picture = picturePath("OMBRELAY_FEED_ARTICLE_PICTURE", QStringLiteral("app-feed-article.png"));
    const QImage screen = feedPaneDrawn(*window, picture);
    ASSERT_FALSE(screen.isNull());
    // The entry's row: where its new mark, the blue dot of the last column, is drawn.
    QPoint row;
    for (int y = window->top(); y < window->center().y() && row.isNull(); ++y)
        for (int x = window->right() - 75; x < window->right() - 30 && row.isNull(); ++x)
            if (nearColor(screen.pixel(x, y), QColor(70, 124, 204), 40))
                row = QPoint(window->center().x(), y + 2);
    ASSERT_FALSE(row.isNull()) << "no new mark in " << picture.toStdString();
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(row.x()), QString::number(row.y()),
                         QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("1")}));
    const auto pageAsked = [&] {
        const QList<HttpTestRequest> requests = server.requests();
        return std::any_of(requests.begin(), requests.end(), [](const HttpTestRequest& r) { return r.path == "/page"; });
    };
    EXPECT_TRUE(app->waitFor(pageAsked, 30000)) << app->output().right(3000).toStdString();
    EXPECT_FALSE(screenshot(picture).isNull());
    EXPECT_TRUE(app->terminate(20000)) << app->output().right(6000).toStdString();
}
