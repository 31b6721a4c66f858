// Pictures of the preferences panes, the blocklist mid-download, the about box and the quit question,
// taken under a private X display by a child run of this program (PNGs in the build folder).
#include "app/frame/KoContentView.h"
#include "app/frame/KoMainWindow.h"
#include "app/prefs/BlocklistView.h"
#include "app/prefs/FolderButton.h"
#include "app/prefs/IncompleteFolderButton.h"
#include "app/prefs/KoDownloadPreferences.h"
#include "app/prefs/KoGeneralPreferences.h"
#include "app/prefs/KoNetworkPreferences.h"
#include "app/prefs/KoPreferencesWindow.h"
#include "app/prefs/KoiTunesPreferences.h"
#include "app/prefs/PZPreferencesController.h"
#include "app/prefs/PreferencePanes.h"
#include "app/shell/KoAboutBoxController.h"
#include "app/shell/KoApplicationController.h"
#include "engine/blocklist/Blocklist.h"
#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "kit/DefaultSettings.h"
#include "support/HttpTestServer.h"
#include "support/OnScreen.h"
#include "support/PrivateDisplay.h"
#include "support/WaitUntil.h"
#include "transfers/TransfersFixture.h"

#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QString picture(const QString& name)
{
    return QDir(QStringLiteral(OMBRELAY_BINARY_DIR)).filePath(name);
}

const char* const kPictures[] = {"preferences-general.png",  "preferences-network.png",
                                 "preferences-download.png", "preferences-media.png",
                                 "preferences-blocklist-downloading.png", "about-box.png", "quit-question.png"};

class GalleryChild : public TransfersFixture
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("OMBRELAY_GALLERY_CHILD"))
            GTEST_SKIP() << "run by PicturesUnderAPrivateDisplay";
        TransfersFixture::SetUp();
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        registerDefaultSettings(Settings::instance());
        Settings::instance().setValue(QStringLiteral("save_directory"),
                                      QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + QLatin1Char('/'));
        Settings::instance().setBool(QStringLiteral("kUseIncompleteFolder"), true);
        Settings::instance().setValue(QStringLiteral("kRandomPort"), true);
        BTCore::Parts parts = BTCore::defaultParts();
        parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
        parts.startTimers = false;
        BTCore::useParts(std::move(parts));
    }
    void TearDown() override
    {
        if (controller)
            TransfersFixture::TearDown();
        Settings::instance().sync();
    }
    static void save(const QImage& image, const QString& name)
    {
        ASSERT_FALSE(image.isNull());
        EXPECT_TRUE(image.save(picture(name)));
    }
};

}  // namespace

TEST_F(GalleryChild, EveryPaneTheBlocklistMidDownloadTheAboutBoxAndTheQuitQuestion)
{
    // Every host is answered on loopback: the search sites' icons, then the blocklist.
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(server.port()).toLatin1());
    Blocklist blocklist(folder.filePath(QStringLiteral("Blocklist.db")), Settings::instance());
    PZPreferencesController preferences;
    const PreferencePanes panes = PreferencePanes::addTo(preferences, blocklist, [](const QString&) { return false; });
    KoNetworkPreferences* network = panes.network;
    KoDownloadPreferences* download = panes.download;
    preferences.showWindow();
    for (int i = 0; i < preferences.items().size(); ++i) {
        preferences.showPaneForItem(i);
        ASSERT_TRUE(waitUntil([&] { return !preferences.isAnimating(); }, 3000));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(preferences.window()));
        if (i == 1) {
            EXPECT_EQ(network->blocklistView()->lastDownload()->text(), QStringLiteral("Never downloaded"));
            EXPECT_EQ(network->blocklistView()->numberOfEntries()->text(), QStringLiteral("0"));
        }
        if (i == 2) {
            EXPECT_EQ(download->saveDirectory()->currentText(), QStringLiteral("Downloads"));
            EXPECT_EQ(download->incompleteDirectory()->currentText(), QStringLiteral("Incomplete"));
        }
        save(preferences.window()->grab().toImage(), QStringLiteral("preferences-%1.png").arg(preferences.items()[i].identifier));
    }

    // The blocklist mid-download: the server holds the answer back while the bar shows what came in.
    HttpTestResponse held;
    held.silent = true;
    server.route("/config/level1.zip", held);
    preferences.showPaneForItem(1);
    ASSERT_TRUE(waitUntil([&] { return !preferences.isAnimating(); }, 3000));
    BlocklistView* view = network->blocklistView();
    view->setArchiveAddress(QUrl(QStringLiteral("http://blocklist.test/config/level1.zip")));
    view->downloadBlocklist();
    ASSERT_TRUE(waitUntil([&] {
        const QList<HttpTestRequest> requests = server.requests();
        return std::any_of(requests.begin(), requests.end(), [](const HttpTestRequest& r) { return r.path == "/config/level1.zip"; });
    }, 5000));
    view->received(1234567, 3456789);
    EXPECT_EQ(view->downloadText()->text(), QStringLiteral("1.2 MB of 3.5 MB"));
    EXPECT_GT(view->updateProgress()->maximum(), 0);
    EXPECT_EQ(view->updateProgress()->value(), 1234567 / 1024);
    save(preferences.window()->grab().toImage(), QStringLiteral("preferences-blocklist-downloading.png"));
    view->cancelAndWait();
    qunsetenv("http_proxy");
    preferences.window()->hide();

    KoAboutBoxController about;
    about.showCentered();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    save(about.grab().toImage(), QStringLiteral("about-box.png"));
    about.hide();

    // The quit question as a sheet over the main window: the screen shows both.
    addTorrent(QStringLiteral("Debian netinst 12.4"), TorrentLine::Downloading);
    addTorrent(QStringLiteral("Sintel soundtrack.flac"), TorrentLine::Complete);
    KoMainWindow window(*controller);
    window.setGeometry(40, 40, 900, 560);
    window.show();
    PZAlert::setPresenter({});
    PZAlert::run(KoApplicationController::quitAlert(), &window, [](int) {});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* const question = window.findChild<QMessageBox*>();
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(waitUntil([&] { return question->isVisible() && shownOnScreen(*question); }));
    const QRect frame = window.frameGeometry();
    save(QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage(),
         QStringLiteral("quit-question.png"));
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != &window && top->isVisible() && top->isModal())
            top->close();
    // The transfers view belongs to its controller, which the fixture ends after this window.
    window.contentView()->removeWidget(controller->mainView());
    controller->mainView()->setParent(nullptr);
}

TEST(PreferencesGallery, PicturesUnderAPrivateDisplay)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay xvfb;
    const QString display = xvfb.display();
    ASSERT_FALSE(display.isEmpty());
    for (const char* name : kPictures)
        QFile::remove(picture(QLatin1String(name)));  // only this run's pictures count
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMBRELAY_GALLERY_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), display);
    QTemporaryDir runtime;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + runtime.filePath(QStringLiteral("no-bus")));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=GalleryChild.*")});
    const bool finished = child.waitForFinished(120000);
    const QByteArray output = child.readAll();
    ASSERT_TRUE(finished) << output.constData();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
    for (const char* name : kPictures) {
        const QImage image(picture(QLatin1String(name)));
        EXPECT_GE(distinctColours(image), 16) << name << ": a drawn window, not a blank or missing picture";
    }
    // The blocklist's progress shows in the network pane.
    const QImage network(picture(QStringLiteral("preferences-network.png")));
    const QImage downloading(picture(QStringLiteral("preferences-blocklist-downloading.png")));
    ASSERT_EQ(network.size(), downloading.size());
    EXPECT_GT(differingPixels(network, downloading, network.rect()), 100);
}
