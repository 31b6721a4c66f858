// Pictures of the main window under a private X server: the empty list, a filled list with bubbles,
// a rename, the transfers entry with a wider sidebar, and the removal sheet.
#include "FrameFixtures.h"

#include "app/frame/KoMainWindow.h"
#include "app/frame/MainSplitView.h"
#include "kit/NotificationCenter.h"
#include "platform/VolumeMonitor.h"
#include "support/HttpTestServer.h"
#include "support/OnScreen.h"
#include "support/PrivateDisplay.h"
#include "support/WaitUntil.h"
#include "transfers/KoDownloadsController.h"

#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const char kChildVariable[] = "OMBRELAY_FRAME_GALLERY_CHILD";
const QStringList kShots{QStringLiteral("frame-1-empty.png"), QStringLiteral("frame-2-list.png"),
                         QStringLiteral("frame-3-rename.png"), QStringLiteral("frame-4-transfers.png"),
                         QStringLiteral("frame-5-remove-sheet.png")};

QString shotPath(int index)
{
    return picturePath("OMBRELAY_FRAME_GALLERY_DIR", kShots[index]);
}

QByteArray siteIconPng()
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(QColor(200, 40, 40));
    QPainter painter(&icon);
    painter.fillRect(4, 4, 8, 8, Qt::white);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    icon.save(&buffer, "PNG");
    return bytes;
}

void save(const QPixmap& shot, int index)
{
    ASSERT_TRUE(shot.save(shotPath(index))) << shotPath(index).toStdString();
}

// The child: runs on the X server and saves the pictures.
TEST(FrameGallery, ChildProcess)
{
    if (qEnvironmentVariableIsEmpty(kChildVariable))
        GTEST_SKIP() << "runs as the child of the gallery test";
    TemporarySettings settings;
    QFile mounts(settings.folder.filePath(QStringLiteral("mountinfo")));
    ASSERT_TRUE(mounts.open(QIODevice::WriteOnly));
    mounts.write("20 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
    mounts.close();
    VolumeMonitor volumes(mounts.fileName());
    KoDownloadsController downloads(volumes);
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    server.route("/favicon.png", HttpTestResponse{200, {{"Content-Type", "image/png"}}, siteIconPng()});

    FakePaneFactory panes;
    panes.countsByName = {{QStringLiteral("ubuntu iso"), 7}, {QStringLiteral("linux"), 1234}, {QStringLiteral("Shows"), 40}};
    panes.newByName = {{QStringLiteral("Shows"), 3}};
    FakeFeeds feeds;
    QPixmap siteIcon;
    KoMainWindow window(downloads);
    SourceView& list = *window.sourceView();
    window.selectionController()->setPaneFactory(&panes);
    list.setIconProvider([&](const QString&) { return siteIcon; });
    window.move(0, 0);
    window.resize(1000, 640);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    spinFor(200);
    save(window.grab(), 0);

    list.setFocus();
    list.addNewFolder();
    SourceItem* music = list.selectedItem();
    list.endEditing(false);
    music->setName(QStringLiteral("Music"));
    list.addNewFolder();
    SourceItem* tv = list.selectedItem();
    list.endEditing(false);
    tv->setName(QStringLiteral("TV shows"));
    list.addNewQueryForString(QStringLiteral("ubuntu iso"));
    list.addNewSubscriptionForAddress(server.url("/feed.xml").toString(), QStringLiteral("Shows"));
    list.acceptDrop(list.findExistingSubscription(server.url("/feed.xml").toString()), tv, -1);
    list.addNewFolder();
    SourceItem* games = list.selectedItem();
    list.endEditing(false);
    games->setName(QStringLiteral("Games"));
    list.clearSelection();
    list.addNewQueryForString(QStringLiteral("linux"));
    list.selectItem(games);
    list.addNewQueryForString(QStringLiteral("chess"));
    list.collapse(list.indexForObject(games));
    list.addNewQueryForString(QStringLiteral("ubuntu iso"));
    // The site icon, served on loopback, arrives.
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(server.url("/favicon.png")));
    ASSERT_TRUE(waitUntil([&] { return reply->isFinished(); }, 5000));
    siteIcon.loadFromData(reply->readAll());
    reply->deleteLater();
    postNotificationAboutSelf(&window, QStringLiteral("PZFaviconLoaderDidLoad"));
    SourceItem* linux = list.findExistingQuery(QStringLiteral("linux"));
    const QRect linuxFrame = list.visualRect(list.indexForObject(linux));
    QTest::mouseMove(list.viewport(), linuxFrame.topLeft() + QPoint(10, 10));
    spinFor(200);
    save(window.grab(), 1);

    QTest::mouseMove(window.contentView(), QPoint(5, 5));
    list.editItem(tv);
    list.editor()->setText(QStringLiteral("TV shows and movies"));
    spinFor(200);
    save(window.grab(), 2);
    list.endEditing(false);

    window.selectionController()->showDownloadsPane(0);
    window.splitView()->dragDividerTo(300);
    spinFor(200);
    save(window.grab(), 3);

    window.splitView()->dragDividerTo(200);
    list.setFocus();
    list.removeItem(tv);
    QMessageBox* sheet = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        sheet = window.findChild<QMessageBox*>();
        return sheet && sheet->isVisible();
    }, 5000));
    ASSERT_TRUE(waitUntil([&] { return shownOnScreen(*sheet); }));
    const QRect area = window.frameGeometry().united(sheet->frameGeometry());
    save(window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()), 4);
    sheet->reject();
    spinFor(50); // time for a removal, which must not come
    EXPECT_TRUE(list.containsItem(tv)) << "cancel keeps the folder";
}

TEST(FrameGallery, PicturesOfTheMainWindow)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb (scripts/install-deps)";
    PrivateDisplay xvfb;
    ASSERT_TRUE(xvfb.isRunning()) << "Xvfb gave no display";

    for (int i = 0; i < kShots.size(); ++i)
        QFile::remove(shotPath(i));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kChildVariable), QStringLiteral("1"));
    environment.insert(QStringLiteral("DISPLAY"), xvfb.display());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The X platform's D-Bus library keeps a buffer to the end; the verdict is read from the output.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=FrameGallery.ChildProcess")});
    const bool finished = child.waitForFinished(120000);
    const QByteArray output = child.readAll();
    ASSERT_TRUE(finished);

    ASSERT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.right(4000).constData();

    // The divider: grey, at the sidebar's width (200, then 300 after the drag).
    const int dividers[][2] = {{0, 200}, {1, 200}, {3, 300}};
    for (const auto& [shot, x] : dividers) {
        const QImage image(shotPath(shot));
        ASSERT_EQ(image.width(), 1000) << kShots[shot].toStdString();
        const QColor divider = image.pixelColor(x, image.height() / 2);
        EXPECT_TRUE(nearColor(divider, QColor(187, 187, 187), 3) || nearColor(divider, QColor(210, 210, 210), 3))
            << kShots[shot].toStdString() << " " << divider.name().toStdString();
    }
    // The transfers entry drawn selected: a blue band above the status strip.
    const QImage transfers(shotPath(3));
    const QColor band = transfers.pixelColor(150, transfers.height() - 23 - 11);
    EXPECT_GT(band.blue(), band.red() + 60) << band.name().toStdString();
    // The rename editor stands in the sidebar over the list; the removal sheet covers part of the window.
    const QImage list(shotPath(1)), rename(shotPath(2)), sheet(shotPath(4));
    ASSERT_EQ(rename.size(), list.size());
    EXPECT_GT(differingPixels(list, rename, QRect(0, 0, 200, list.height())), 100);
    EXPECT_EQ(differingPixels(list, rename, QRect(210, 0, list.width() - 210, list.height())), 0)
        << "only the sidebar changes";
    ASSERT_EQ(sheet.size(), transfers.size());
    EXPECT_GT(differingPixels(transfers, sheet, sheet.rect()), 1000);
    EXPECT_GE(distinctColours(sheet), 16);
}

}  // namespace
