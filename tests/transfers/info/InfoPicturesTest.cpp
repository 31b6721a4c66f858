// Pictures of the info area and the sidebar's transfers row under a private X server: the parent test
// starts Xvfb and runs this program again on it for each picture (the DISABLED_ tests below), one
// process each, since the real engine of the seeder picture lives as long as its process.
#include "transfers/TransfersFixture.h"

#include "engine/core/BTCore.h"
#include "engine/core/PeerService.h"
#include "engine/nat/PortMapper.h"
#include "engine/peers/EngineServices.h"
#include "engine/storage/DiskSession.h"
#include "interop/support/HelperProcess.h"
#include "kit/AppPaths.h"
#include "support/OnScreen.h"
#include "support/PrivateDisplay.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"
#include "transfers/BandwidthPopUpButton.h"
#include "transfers/PZIconView.h"
#include "transfers/PiecesView.h"
#include "transfers/ShadowedTextField.h"
#include "transfers/StatsView.h"
#include "transfers/TransfersInfoArea.h"

#include <QGridLayout>
#include <QMenu>
#include <QScreen>
#include <QTest>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QString peerScript()
{
    return testSourcePath(QStringLiteral("interop/peers/lt_peer.py"));
}

void choose(BandwidthPopUpButton& button, int tag)
{
    for (QAction* item : button.buildMenu()->actions())
        if (item->isEnabled() && item->data().toInt() == tag)
            item->trigger();
}

bool save(const QPixmap& picture, const QString& fileName)
{
    const QString path = picturePath(fileName);
    std::fprintf(stderr, "picture: %s\n", qPrintable(path));
    return picture.save(path);
}

// The sidebar row beside the transfers pane, in one active window.
struct Window
{
    explicit Window(KoDownloadsController& controller) : controller(controller)
    {
        auto* layout = new QGridLayout(&widget);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(controller.statsView(), 0, 0, Qt::AlignTop);
        layout->addWidget(controller.mainView(), 0, 1);
        layout->setColumnMinimumWidth(0, 200);
        layout->setColumnStretch(1, 1);
        widget.setGeometry(0, 0, 980, 400);
        widget.show();
        widget.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&widget));
    }
    ~Window()
    {
        controller.statsView()->setParent(nullptr);  // the controller deletes its views
        controller.mainView()->setParent(nullptr);
    }
    KoDownloadsController& controller;
    QWidget widget;
};

using InfoPictureFakes = TransfersFixture;

}  // namespace

TEST(InfoPictures, TakenUnderAPrivateDisplay)
{
    if (!PrivateDisplay::isInstalled() || !QFileInfo(kPython).isExecutable())
        GTEST_SKIP() << "needs Xvfb and python3-libtorrent (scripts/install-deps)";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    for (const char* test : {"InfoPictureFakes.DISABLED_SidebarRowLitAndPlain", "InfoPictures.DISABLED_SeederDownload"})
        EXPECT_TRUE(DisplayChild(display, QLatin1String(test)).passes(150000)) << test;
}

TEST_F(InfoPictureFakes, DISABLED_SidebarRowLitAndPlain)
{
    for (int k = 0; k < 2; ++k) {
        const TorrentLinePtr torrent = addTorrent(QStringLiteral("active %1").arg(k), TorrentLine::Downloading);
        peers.counts[torrent.get()] = {1, 1, 0};
    }
    Window window(*controller);
    StatsView& stats = *controller->statsView();
    stats.setTransfersViewShown(true);
    controller->updateCell(nullptr);
    QApplication::processEvents();
    const QPixmap lit = stats.grab();
    ASSERT_TRUE(save(lit, QStringLiteral("sidebar-row-lit.png")));
    // The lit row wears the selection's blue; the badge is white.
    EXPECT_GT(lit.toImage().pixelColor(3, 30).blue(), 170);
    EXPECT_LT(lit.toImage().pixelColor(3, 30).red(), 120);

    // A rate needs a running torrent, which the counts would show as active or connecting: the row
    // is fed directly for its plain look.
    KoDrawerStatsDownloadsCell& cell = stats.downloadsCell();
    cell.setNumberOfActive(0);
    cell.setNumberOfPaused(3);
    cell.setNetBandwidth(1234567);
    stats.setTransfersViewShown(false);
    controller->outlineView()->setFocus();
    QApplication::processEvents();
    const QPixmap plain = stats.grab();
    ASSERT_TRUE(save(plain, QStringLiteral("sidebar-row-plain.png")));
    EXPECT_TRUE(nearColor(plain.toImage().pixelColor(3, 30), QColor(209, 215, 226), 4));
}

TEST(InfoPictures, DISABLED_SeederDownload)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString seed = root.filePath(QStringLiteral("seed"));
    const QString downloads = root.filePath(QStringLiteral("downloads"));
    QDir().mkpath(downloads);
    QDir().mkpath(root.filePath(QStringLiteral("xdg")));
    qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("xdg")).toUtf8());
    Settings::useFile(root.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(Settings::instance());
    Settings::instance().setValue(QStringLiteral("save_directory"), downloads);
    Settings::instance().setValue(QStringLiteral("kRandomPort"), true);
    AppPaths::setApplicationSupportPath(root.filePath(QStringLiteral("support")));

    // A folder of four files, 489 blocks of one block a piece, sent at 300 kB/s.
    QProcess make;
    make.start(kPython, {peerScript(), QStringLiteral("make"), QStringLiteral("--dir"), seed, QStringLiteral("--size"),
                         QStringLiteral("8000000"), QStringLiteral("--files"), QStringLiteral("4")});
    ASSERT_TRUE(make.waitForFinished(60000) && make.exitCode() == 0) << make.readAllStandardError().constData();
    HelperProcess seeder(kPython, {peerScript(), QStringLiteral("seed"), QStringLiteral("--torrent"),
                                   seed + QStringLiteral("/payload.torrent"), QStringLiteral("--save"), seed,
                                   QStringLiteral("--encryption"), QStringLiteral("enabled"), QStringLiteral("--seconds"),
                                   QStringLiteral("120"), QStringLiteral("--upload-rate"), QStringLiteral("300000")});
    const QByteArray port = seeder.waitForLine("ready", 30000);
    ASSERT_FALSE(port.isEmpty());

    VolumeMonitor& volumes = VolumeMonitor::instance();
    KoDownloadsController controller(volumes);
    EngineHost::install(&controller);
    auto session = std::make_unique<DiskSession>(volumes);
    BTCore::Parts parts = BTCore::defaultParts();
    parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
    BTCore::useParts(std::move(parts));
    BTCore& engine = BTCore::instance();
    BTCore::Hooks hooks = session->hooks();
    hooks.oneSecondWork = [&] {
        session->oneSecondWork();
        controller.invalidateBindingsText();
    };
    const std::unique_ptr<EngineServices> services = installEngineServices(engine, hooks);
    engine.setHooks(std::move(hooks));

    Window window(controller);
    controller.statsView()->setTransfersViewShown(true);
    const TorrentLinePtr torrent = TorrentLine::torrentLineForPath(seed + QStringLiteral("/payload.torrent"));
    ASSERT_TRUE(torrent);
    session->adder().addTorrentLines({torrent}, false, false, true);
    controller.selectObjects({torrent});
    PeerService::instance().dialPeer(*torrent, QStringLiteral("127.0.0.1:") + QString::fromLatin1(port));

    TransfersInfoArea& area = *controller.infoArea();
    choose(*area.downloadPopUp(), -1);  // "No Limit": the arrow lights
    EXPECT_EQ(torrent->customDownloadLimit(), -1);

    // Waits for a refresh that shows complete, partial and just-changed cells at once.
    PiecesView& pieces = *area.piecesView();
    const auto kinds = [&] {
        int green = 0, partial = 0, changed = 0;
        for (int k = 0; k < pieces.grid().cellCount(); ++k) {
            const QColor color = pieces.cellColor(k);
            green += color == PiecesView::green();
            changed += color == PiecesView::blue();
            partial += color.alpha() > 0 && color.alpha() < 255;
        }
        return std::array<int, 3>{green, partial, changed};
    };
    ASSERT_TRUE(waitUntil([&] {
        const auto [green, partial, changed] = kinds();
        return torrent->fractionLoaded() > 0.25f && green > 0 && partial > 0 && changed > 0;
    }, 60000)) << "loaded " << torrent->fractionLoaded();
    const QPixmap shot = window.widget.grab();
    ASSERT_TRUE(save(shot, QStringLiteral("info-area-seeder.png")));
    EXPECT_EQ(pieces.grid().rows, 18);
    EXPECT_FALSE(area.iconView()->image().isNull());
    EXPECT_EQ(area.torrentFields().first()->text(), QStringLiteral("payload"));
    // Cells as drawn: one of each kind, checked in the picture.
    const QImage image = shot.toImage();
    const QPoint origin = pieces.mapTo(&window.widget, QPoint(0, 0));
    for (const QColor& wanted : {PiecesView::green(), PiecesView::blue()}) {
        int found = -1;
        for (int k = 0; k < pieces.grid().cellCount() && found < 0; ++k)
            if (pieces.cellColor(k) == wanted)
                found = k;
        ASSERT_GE(found, 0);
        const QColor drawn = image.pixelColor(pieces.cellRect(found).center() + origin);
        EXPECT_TRUE(nearColor(drawn, wanted, 6)) << qPrintable(drawn.name());
    }
    const QWidget* button = area.downloadPopUp();
    const QColor arrow = image.pixelColor(button->mapTo(&window.widget, QPoint(button->width() - 9, 7)));
    EXPECT_GT(arrow.blue() - arrow.red(), 80) << "the download arrow is lit: " << qPrintable(arrow.name());

    // The limit menu open over the window, with the 20 kB/s limit chosen before.
    choose(*area.downloadPopUp(), 20);
    QTest::mouseClick(area.downloadPopUp(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return area.downloadPopUp()->menu() && area.downloadPopUp()->menu()->isVisible(); }));
    ASSERT_TRUE(waitUntil([&] { return shownOnScreen(*area.downloadPopUp()->menu()); }));
    const QRect shown = window.widget.frameGeometry().united(area.downloadPopUp()->menu()->geometry());
    const QPixmap withMenu = QGuiApplication::primaryScreen()->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height());
    ASSERT_TRUE(save(withMenu, QStringLiteral("info-area-limit-menu.png")));
    QStringList checked;
    for (QAction* item : area.downloadPopUp()->menu()->actions())
        if (item->isChecked())
            checked.append(item->text());
    EXPECT_EQ(checked, QStringList{QStringLiteral("Limit to 20kb/s")});
    area.downloadPopUp()->menu()->hide();

    engine.setHooks({});
    controller.removeDownloads(controller.objects());
    session.reset();
    EngineHost::install(nullptr);
}
