// Views under a real X server. Each outer test starts Xvfb (and a private bus) and runs one inner test of
// this program on it (the DISABLED_ tests below).
#include "app/desktop/DesktopAppFixture.h"

#include "app/desktop/AdView.h"
#include "app/desktop/DockTileView.h"
#include "app/desktop/DragOverlayView.h"
#include "app/desktop/StatusTray.h"
#include "app/frame/KoMainWindow.h"
#include "support/Pictures.h"
#include "support/PrivateDisplay.h"
#include "transfers/DownloadsOutlineView.h"

#include <QDBusArgument>
#include <QDrag>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <QtEndian>
#include <cstring>
#include <xcb/xcb.h>

namespace ombrelay::test {
namespace {

// Runs the inner test; `whileRunning` is polled until it answers true or the child ends.
bool childPasses(const QString& test, const PrivateDisplay& display, const QProcessEnvironment& environment,
                 const std::function<bool()>& whileRunning = {})
{
    DisplayChild child(display, "UnderXvfb*.DISABLED_" + test, environment);
    if (whileRunning)
        waitUntil([&] { return !child.isRunning() || whileRunning(); }, 60000);
    return child.passes();
}

TEST(DesktopScreens, TileOverlayAndStartView)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    ASSERT_TRUE(childPasses("SavesScreenshots", display, QProcessEnvironment::systemEnvironment()));
    const QImage tile(picturePath("OMBRELAY_TILE_PICTURE", "desktop-tile.png"));
    const QImage overlay(picturePath("OMBRELAY_OVERLAY_PICTURE", "desktop-overlay.png"));
    const QImage start(picturePath("OMBRELAY_START_PICTURE", "desktop-start.png"));
    ASSERT_EQ(tile.size(), QSize(128, 128));
    EXPECT_GT(qRed(tile.pixel(100, 8)), 150);                   // the red count badge, top right
    EXPECT_LT(qGray(tile.pixel(64, 112)), 60);                  // the black rate badge, bottom
    ASSERT_FALSE(overlay.isNull());
    EXPECT_LT(qGray(overlay.pixel(5, overlay.height() - 5)), 200);  // the dimmed window
    ASSERT_FALSE(start.isNull());
    EXPECT_LT(darkestGrey(start, QRect(0, 10, start.width(), start.height() - 20)), 120);  // the page's text
}

// The tray icon, as the desktop's tray host reads it over the bus, is the tile.
TEST(DesktopScreens, TrayItemShowsTheTile)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeStatusNotifierWatcher watcher(bus.connect("watcher"));
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OMBRELAY_TEST_SESSION_BUS", bus.address());
    environment.insert("OMBRELAY_TEST_FOLDER", folder.path());
    environment.insert("XDG_RUNTIME_DIR", folder.path());
    QDBusConnection reader = bus.connect("reader");
    QList<QPair<QSize, QByteArray>> pixmaps;
    const bool passed = childPasses("ShowsTheTileInTheTray", display, environment, [&] {
        if (watcher.items().isEmpty() || !QFileInfo::exists(folder.filePath("tile.png")))
            return false;
        QDBusMessage get = QDBusMessage::createMethodCall(watcher.items().constFirst(), "/StatusNotifierItem",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("IconPixmap");
        const QDBusMessage reply = reader.call(get, QDBus::Block, 2000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return false;
        const QDBusArgument images = reply.arguments().constFirst().value<QDBusVariant>().variant().value<QDBusArgument>();
        images.beginArray();
        while (!images.atEnd()) {
            int width = 0, height = 0;
            QByteArray bytes;
            images.beginStructure();
            images >> width >> height >> bytes;
            images.endStructure();
            pixmaps.append({QSize(width, height), bytes});
        }
        images.endArray();
        writeFile(folder.filePath("stop"));
        return true;
    });
    EXPECT_TRUE(passed);
    const QImage tile(folder.filePath("tile.png"));
    ASSERT_EQ(tile.size(), QSize(128, 128));
    ASSERT_FALSE(pixmaps.isEmpty()) << "no tray item registered";
    // The host gets the tile at its own sizes, each scaled from ours (network byte order ARGB).
    const auto& [size, bytes] = pixmaps.constLast();
    ASSERT_EQ(bytes.size(), size.width() * size.height() * 4);
    QImage shown(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            shown.setPixel(x, y, qFromBigEndian<quint32>(bytes.constData() + 4 * (y * size.width() + x)));
    auto distance = [&](const QImage& image) {
        const QImage scaled = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
        double sum = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                sum += std::abs(qGray(scaled.pixel(x, y)) - qGray(shown.pixel(x, y))) +
                       std::abs(qAlpha(scaled.pixel(x, y)) - qAlpha(shown.pixel(x, y)));
        return sum / (size.width() * size.height());
    };
    const double toTile = distance(tile);
    const double toBare = distance(DockTileView().render(0, 0));
    EXPECT_LT(toTile, 4.0);
    EXPECT_GT(toBare, toTile + 4.0);
}

// A torrent file dragged from another program (over XDND, moved by xdotool) is added.
TEST(DesktopScreens, ARealDragAddsTheTorrent)
{
    if (!PrivateDisplay::isInstalled() || QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    QTemporaryDir folder;
    ASSERT_TRUE(writeFile(folder.filePath("dragged.torrent"), metainfo(singleFileInfo("dragged.bin", 5000))));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OMBRELAY_TEST_FOLDER", folder.path());
    DisplayChild target(display, "UnderXvfb*.DISABLED_ReceivesARealDrag", environment);
    DisplayChild source(display, "UnderXvfb*.DISABLED_DragsATorrentFile", environment);
    ASSERT_TRUE(waitUntil([&] {
        return QFileInfo::exists(folder.filePath("target-ready")) && QFileInfo::exists(folder.filePath("source-ready"));
    }, 30000));
    QProcessEnvironment xdotoolEnvironment = QProcessEnvironment::systemEnvironment();
    xdotoolEnvironment.insert("DISPLAY", display.display());
    auto xdotool = [&](const QStringList& arguments) {
        QProcess tool;
        tool.setProcessEnvironment(xdotoolEnvironment);
        tool.start("xdotool", arguments);
        return tool.waitForFinished(5000) && tool.exitCode() == 0;
    };
    // Press on the source, move in steps over the window, release there.
    ASSERT_TRUE(xdotool({"mousemove", "100", "100", "mousedown", "1"}));
    for (int x = 110; x <= 700; x += 30) {
        spinFor(40);
        ASSERT_TRUE(xdotool({"mousemove", QString::number(x), "200"}));
    }
    spinFor(300);
    ASSERT_TRUE(xdotool({"mouseup", "1"}));
    EXPECT_TRUE(target.passes());
    EXPECT_TRUE(source.passes());
}

// What windows ask the window manager about the state "_NET_WM_STATE_DEMANDS_ATTENTION", as one that
// listens on the display's root window receives it: 1 to add the state, 0 to remove it.
class AttentionRequests
{
public:
    explicit AttentionRequests(const QString& display) : m_connection(xcb_connect(qPrintable(display), nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, root, XCB_CW_EVENT_MASK, &mask);
        m_state = atom("_NET_WM_STATE");
        m_attention = atom("_NET_WM_STATE_DEMANDS_ATTENTION");
    }
    ~AttentionRequests() { xcb_disconnect(m_connection); }
    bool isListening() const { return m_state != XCB_NONE && m_attention != XCB_NONE; }
    // Takes in what has arrived.
    void read()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == m_state && message->format == 32
                && (message->data.data32[1] == m_attention || message->data.data32[2] == m_attention))
                changes.append(int(message->data.data32[0]));
            free(event);
        }
    }

    QList<int> changes;

private:
    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_NONE);
        free(reply);
        return value;
    }

    xcb_connection_t* m_connection;
    xcb_atom_t m_state = XCB_NONE;
    xcb_atom_t m_attention = XCB_NONE;
};

// A finished transfer asks for attention on the window itself too, where the launcher entry's flag is
// ignored; the request ends when the window is activated.
TEST(DesktopScreens, AttentionMarksTheWindow)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    AttentionRequests requests(display.display());
    ASSERT_TRUE(requests.isListening());
    // The child goes on once each change has arrived here.
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OMBRELAY_TEST_FOLDER", folder.path());
    EXPECT_TRUE(childPasses("MarksTheWindowForAttention", display, environment, [&] {
        requests.read();
        if (requests.changes.contains(1))
            writeFile(folder.filePath("attention-asked"));
        if (requests.changes.contains(0))
            writeFile(folder.filePath("attention-ended"));
        return false;
    }));
    requests.read();
    EXPECT_EQ(requests.changes, (QList<int>{1, 0}));
}

TEST(UnderXvfb, DISABLED_SavesScreenshots)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QTemporaryDir folder;
    Settings::useFile(folder.filePath("Ombrelay.conf"));
    Settings::instance().setBool("kKoNetBandwidthDock", true);
    const QImage tile = DockTileView().render(42, 123456);
    ASSERT_TRUE(tile.save(picturePath("OMBRELAY_TILE_PICTURE", "desktop-tile.png")));

    // A window with a list, and one torrent of three files dragged over it.
    QWidget window;
    window.setWindowTitle("Ombrelay");
    window.resize(720, 480);
    auto* list = new QTreeWidget(&window);
    list->setHeaderLabels({"Name", "Progress"});
    for (const char* name : {"Debian netinst", "Live recording", "Public domain films"})
        list->addTopLevelItem(new QTreeWidgetItem(QStringList{name, "42 %"}));
    list->resize(window.size());
    DragOverlayView overlay(list);
    window.show();
    const qint64 part = 4100000;
    ASSERT_TRUE(writeFile(folder.filePath("album.torrent"),
                          metainfo(multiFileInfo("Album", {{{"1.flac"}, part}, {{"2.flac"}, part}, {{"3.flac"}, part}}))));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder.filePath("album.torrent"))});
    overlay.shouldAnimateIn(&data);
    ASSERT_TRUE(waitUntil([&] { return overlay.currentValue() == 1.0; }, 3000));
    waitUntil([&] { return overlay.secondaryString() == QStringLiteral("3 files, 12.3 MB"); });
    EXPECT_EQ(overlay.secondaryString(), QStringLiteral("3 files, 12.3 MB"));
    ASSERT_TRUE(window.grab().save(picturePath("OMBRELAY_OVERLAY_PICTURE", "desktop-overlay.png")));

    AdView start;
    start.resize(720, 480);
    start.show();
    ASSERT_TRUE(waitUntil([&] { return start.webView()->source() == AdWebView::kStartPage; }));
    ASSERT_TRUE(waitUntil([&] { return !start.webView()->document()->isEmpty(); }));
    ASSERT_TRUE(start.grab().save(picturePath("OMBRELAY_START_PICTURE", "desktop-start.png")));
}

TEST(UnderXvfb, DISABLED_ShowsTheTileInTheTray)
{
    const QString folder = qEnvironmentVariable("OMBRELAY_TEST_FOLDER");
    Settings::useFile(folder + "/Ombrelay.conf");
    ASSERT_TRUE(writeFile(folder + "/mountinfo", "20 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"));
    VolumeMonitor volumes(folder + "/mountinfo");
    KoDownloadsController downloads(volumes);
    TorrentLinePtr torrent = TorrentLine::torrentLineForData(metainfo(singleFileInfo("done.bin", 1000)));
    ASSERT_TRUE(torrent);
    torrent->setDownloadPath(folder);
    downloads.addDownload(torrent);
    torrent->restoreDownloadState(TorrentLine::Complete);
    downloads.redisplayBadge();
    StatusTray tray(downloads, nullptr, QDBusConnection::sessionBus());
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    tray.redisplay();
    EXPECT_EQ(DockTileView::completeBadgeText(downloads.numberOfComplete()), QStringLiteral("1"));
    ASSERT_TRUE(tray.tile().save(folder + "/tile.png"));
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(folder + "/stop"); }, 30000));
}

// What a file manager does: a press starts a drag of the file.
class DragSource : public QWidget
{
public:
    explicit DragSource(const QString& path) : m_path(path) {}
    Qt::DropAction result = Qt::IgnoreAction;

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(m_path)});
        drag->setMimeData(data);
        result = drag->exec(Qt::CopyAction | Qt::MoveAction);
    }

private:
    QString m_path;
};

TEST(UnderXvfb, DISABLED_DragsATorrentFile)
{
    const QString folder = qEnvironmentVariable("OMBRELAY_TEST_FOLDER");
    DragSource source(folder + "/dragged.torrent");
    source.setGeometry(0, 0, 250, 250);
    source.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    ASSERT_TRUE(writeFile(folder + "/source-ready"));
    ASSERT_TRUE(waitUntil([&] { return source.result != Qt::IgnoreAction; }, 30000));
    EXPECT_EQ(source.result, Qt::MoveAction);
}

class UnderXvfbDrop : public DesktopApp
{
};

TEST_F(UnderXvfbDrop, DISABLED_ReceivesARealDrag)
{
    launch();
    KoMainWindow* window = controller->mainWindow();
    window->setGeometry(300, 0, 700, 500);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ASSERT_TRUE(writeFile(qEnvironmentVariable("OMBRELAY_TEST_FOLDER") + "/target-ready"));
    ASSERT_TRUE(waitUntil([&] { return downloads().objects().size() == 1; }, 30000));
    EXPECT_EQ(downloads().objects().constFirst()->path(), QStringLiteral("dragged.bin"));
    EXPECT_EQ(downloads().outlineView()->selectedTorrents().size(), 1);
}

class UnderXvfbAttention : public DesktopApp
{
};

TEST_F(UnderXvfbAttention, DISABLED_MarksTheWindowForAttention)
{
    launch();
    KoMainWindow* window = controller->mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QWidget other;
    other.setGeometry(800, 500, 200, 100);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return other.isActiveWindow(); }, 10000));
    // Qt leaves requests in the connection's buffer until it next writes there: each wait sends them.
    xcb_connection_t* connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const auto seenByTheListener = [&](const char* name) {
        const QString file = qEnvironmentVariable("OMBRELAY_TEST_FOLDER") + "/" + name;
        return waitUntil([&] {
            xcb_flush(connection);
            return QFileInfo::exists(file);
        }, 10000);
    };
    downloads().requestAttention();
    ASSERT_TRUE(seenByTheListener("attention-asked"));
    window->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return window->isActiveWindow(); }, 10000));
    ASSERT_TRUE(seenByTheListener("attention-ended"));
}

}  // namespace
}  // namespace ombrelay::test
