// Pictures of the preferences panes, the blocklist mid-download, the about box and the quit question,
// taken under a private X display by a child run of this program (PNGs in the build folder); and the
// save folder's pop-up opened by a held click in the running application.
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
#include "app/shell/menubar/LoopbackHomeApp.h"
#include "engine/blocklist/Blocklist.h"
#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "kit/DefaultSettings.h"
#include "support/HttpTestServer.h"
#include "support/OnScreen.h"
#include "support/PrivateDisplay.h"
#include "support/WaitUntil.h"
#include "transfers/TransfersFixture.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleOptionComboBox>
#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QString picture(const QString& name)
{
    return picturePath(name);
}

const char* const kPictures[] = {"preferences-general.png",  "preferences-network.png",
                                 "preferences-download.png", "preferences-media.png",
                                 "preferences-blocklist-downloading.png", "about-box.png", "quit-question.png"};
const char* const kInWindowChild = "OMBRELAY_PREFERENCES_WINDOW_CHILD";

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

// The running application, its window active.
class PreferencesInWindow : public LoopbackHomeApp
{
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet(kInWindowChild))
            GTEST_SKIP() << "run by the outer tests of the running application";
        DesktopApp::SetUp();
        ASSERT_NO_FATAL_FAILURE(launchWindow());
    }
    // How wide the rightmost ink of `row` is (a name after its icon, its words nearer to each other than to
    // the icon), against the row's own colour.
    static int nameWidth(const QImage& image, const QRect& row)
    {
        const QColor ground = image.pixelColor(row.right() - 2, row.center().y());
        const auto ink = [&](int x) {
            for (int y = row.top() + 2; y <= row.bottom() - 2; ++y)
                if (!nearColor(image.pixelColor(x, y), ground, 60))
                    return true;
            return false;
        };
        int right = row.right();
        while (right > row.left() && !ink(right))
            --right;
        int left = right;
        for (int x = right; x > row.left() && x > left - 7; --x)
            left = ink(x) ? x : left;
        return right - left + 1;
    }
    // How many rows hold ink in the last 8 inked columns of a closed button's name: a letter's height, or
    // an ellipsis's dots.
    static int nameTailHeight(QComboBox& button)
    {
        QStyleOptionComboBox option;
        option.initFrom(&button);
        const QRect field =
            button.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &button);
        const QImage shot = screenArea(QRect(button.mapToGlobal(field.topLeft()), field.size())
                                           .adjusted(button.iconSize().width() + 4, 2, 0, -2));
        const auto inked = [&](const QRect& area) { return darkestGrey(shot, area) < 110; };
        int right = shot.width() - 1;
        while (right > 8 && !inked(QRect(right, 0, 1, shot.height())))
            --right;
        int rows = 0;
        for (int y = 0; y < shot.height(); ++y)
            rows += inked(QRect(right - 7, y, 8, 1)) ? 1 : 0;
        return rows;
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

// Each stored folder's pop-up, opened by a held click and pictured open: every separator's line stands
// clear of the rows beside it, also of the highlighted custom folder, and no name is cut short, however
// narrow the button. Closed, the button ends a name too long for it in an ellipsis.
TEST_F(PreferencesInWindow, SeparatorsAndWholeNames)
{
    const QString custom = home.filePath(QStringLiteral("Custom"));
    const QString longer = home.filePath(QStringLiteral("Custom Torrent Folder"));
    ASSERT_TRUE(QDir().mkpath(custom) && QDir().mkpath(longer));
    const struct
    {
        QString stored;
        QString selected;
        const char* picture;
        bool ellipsis = false;  // in the closed button
    } cases[] = {
        {custom, QStringLiteral("Custom"), "preferences-folder-popup-custom.png"},
        {longer, QStringLiteral("Custom Torrent Folder"), "preferences-folder-popup-long.png", true},
        {QStringLiteral("~/Documents"), QStringLiteral("Documents"), "preferences-folder-popup-documents.png"},
    };
    PZPreferencesController* const preferences = preferencesPane(2);  // Downloads
    ASSERT_TRUE(preferences);
    auto* const button = preferences->window()->findChild<FolderButton*>(QStringLiteral("saveDirectory"));
    ASSERT_TRUE(button);
    ASSERT_TRUE(waitUntil([&] { return button->isVisible(); }, 5000));
    QAbstractItemView* const list = button->view();
    QWidget* const popUp = list->window();
    for (const auto& c : cases) {
        Settings::instance().setValue(QStringLiteral("save_directory"), c.stored);
        ASSERT_EQ(button->currentText(), c.selected);
        ASSERT_TRUE(waitUntil([&] { return shownOnScreen(*preferences->window()); }, 5000));
        ASSERT_TRUE(clickHeld(button->mapToGlobal(button->rect().center()), 120));
        ASSERT_TRUE(waitUntil([&] { return popUp->isVisible() && shownOnScreen(*popUp); }, 5000)) << c.picture;
        const QImage shot = screenArea(popUp->frameGeometry()).convertToFormat(QImage::Format_RGB32);
        ASSERT_TRUE(shot.save(picture(QLatin1String(c.picture))));
        const auto rowIn = [&](int index) {
            const QRect row = list->visualRect(list->model()->index(index, 0));
            return QRect(list->viewport()->mapTo(popUp, row.topLeft()), QSize(list->viewport()->width(), row.height()));
        };
        const QRect other = rowIn(button->count() - 1);
        const QColor ground = shot.pixelColor(other.right() - 2, other.center().y());
        // Each separator's line lies inside its row, with the menu's ground above and below it.
        for (int i = 0; i < button->count(); ++i) {
            if (!button->itemText(i).isEmpty())
                continue;
            const QRect row = rowIn(i);
            const auto groundAt = [&](int y) { return nearColor(shot.pixelColor(row.center().x(), y), ground, 8); };
            int top = row.top();
            while (top <= row.bottom() && groundAt(top))
                ++top;
            ASSERT_LE(top, row.bottom()) << c.picture << ": no line in row " << i;
            int bottom = top;
            while (bottom < row.bottom() && !groundAt(bottom + 1))
                ++bottom;
            EXPECT_TRUE(groundAt(top - 1) && groundAt(bottom + 1)) << c.picture << ": the line of row " << i << " touches a row beside it";
        }
        for (const QString& name : {QStringLiteral("Documents"), c.selected})
            EXPECT_GE(nameWidth(shot, rowIn(button->findText(name))), list->fontMetrics().horizontalAdvance(name) - 4)
                << c.picture << ": " << name.toStdString() << " is cut short";
        ASSERT_TRUE(key(QStringLiteral("Escape")));
        ASSERT_TRUE(waitUntil([&] { return !popUp->isVisible() && shownOnScreen(*button); }));
        EXPECT_EQ(nameTailHeight(*button) <= 3, c.ellipsis) << c.picture;
    }
}

// The playlist name's refusal, brought up with keys and clicks, grows the window instead of sliding under
// the field above it.
TEST_F(PreferencesInWindow, ARefusalShownGrowsTheWindow)
{
    Settings::instance().setBool(QStringLiteral("kKoAddSong"), true);
    Settings::instance().setBool(QStringLiteral("kKoAddSongToPlaylist"), true);
    PZPreferencesController* const preferences = preferencesPane(3);  // Music Library
    ASSERT_TRUE(preferences);
    QWidget* const window = preferences->window();
    auto* const media = window->findChild<KoiTunesPreferences*>();
    QComboBox* const playlists = media->playlistMenu();
    ASSERT_TRUE(waitUntil([&] { return playlists->isEnabled() && shownOnScreen(*window); }));
    const int height = window->height();
    ASSERT_TRUE(clickHeld(playlists->mapToGlobal(playlists->rect().center()), 120));
    ASSERT_TRUE(waitUntil([&] { return playlists->view()->isVisible(); }));
    ASSERT_TRUE(key(QStringLiteral("End")) && key(QStringLiteral("Return")));  // "Other..."
    ASSERT_TRUE(focusIs(media->playlistTextEdit()));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("a/b")}) && key(QStringLiteral("Return")));
    ASSERT_TRUE(waitUntil([&] { return media->playlistRefusal()->isVisible() && shownOnScreen(*window); }));
    EXPECT_GT(window->height(), height);
    EXPECT_GE(media->playlistRefusal()->y(), media->playlistTab()->geometry().bottom());
    ASSERT_TRUE(screenArea(window->frameGeometry()).save(picture("preferences-media-refusal.png")));
}

RUN_ON_PRIVATE_DISPLAY(PreferencesGallery, FolderPopUpOpenedByAHeldClick, "PreferencesInWindow.S*", kInWindowChild)
RUN_ON_PRIVATE_DISPLAY(PreferencesGallery, ARefusalShownGrowsTheWindow, "PreferencesInWindow.A*", kInWindowChild)

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
    // The blocklist's progress shows in the network pane, which grows for the bar.
    const QImage network(picture(QStringLiteral("preferences-network.png")));
    const QImage downloading(picture(QStringLiteral("preferences-blocklist-downloading.png")));
    ASSERT_EQ(network.width(), downloading.width());
    ASSERT_GT(downloading.height(), network.height());
    EXPECT_GT(differingPixels(network, downloading, network.rect()), 100);
}
