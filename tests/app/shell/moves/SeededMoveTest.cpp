// A transfer moved into the incomplete folder while a libtorrent seeder on loopback feeds it, on one file
// system and across two: the move is offered, done, and the transfer completes byte for byte in the
// download folder.
#include "app/shell/KoApplicationController.h"
#include "engine/core/BTCore.h"
#include "engine/nat/PortMapper.h"
#include "engine/torrent/TorrentLine.h"
#include "interop/support/HelperProcess.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"
#include "transfers/KoDownloadsController.h"
#include "uikit/PZAlert.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QString peerScript()
{
    return testSourcePath(QStringLiteral("interop/peers/lt_peer.py"));
}

quint64 deviceOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_dev) : 0;
}

struct MoveCase
{
    const char* name;
    bool otherDisk;
    friend void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }
};

// The engine lives as long as the process and keeps the settings it started with: one settings file
// serves every case.
class SeededMove : public ::testing::TestWithParam<MoveCase>
{
protected:
    static void SetUpTestSuite()
    {
        suiteFolder = new QTemporaryDir;
        Settings::useFile(suiteFolder->filePath(QStringLiteral("Ombrelay.conf")));
        registerDefaultSettings(Settings::instance());
    }
    static void TearDownTestSuite()
    {
        Settings::instance().sync();
        delete suiteFolder;
        suiteFolder = nullptr;
    }
    static inline QTemporaryDir* suiteFolder = nullptr;
};

}  // namespace

TEST_P(SeededMove, ATransferMovedWhileASeederFeedsItCompletesWhole)
{
    if (!QFileInfo(kPython).isExecutable() || !QFileInfo::exists(peerScript()))
        GTEST_SKIP() << "needs python3-libtorrent";
    QTemporaryDir otherDisk(QStringLiteral("/dev/shm/ombrelay-seeded-XXXXXX"));
    QTemporaryDir root;
    if (GetParam().otherDisk && (!otherDisk.isValid() || deviceOf(otherDisk.path()) == deviceOf(root.path())))
        GTEST_SKIP() << "no second file system";
    ASSERT_TRUE(root.isValid());
    const QString seed = root.filePath(QStringLiteral("seed"));
    const QString downloads = root.filePath(QStringLiteral("Downloads"));
    QDir().mkpath(seed);
    Settings& settings = Settings::instance();
    settings.setBool(QStringLiteral("kUseIncompleteFolder"), false);
    settings.remove(QStringLiteral("kIncompleteFolder"));
    settings.setValue(QStringLiteral("save_directory"), downloads);
    settings.setValue(QStringLiteral("kRandomPort"), true);
    settings.setValue(QStringLiteral("kDeleteOriginalTorrent"), false);
    settings.setValue(QStringLiteral("kUploadLimitEnabled"), false);
    const QString incomplete = GetParam().otherDisk ? otherDisk.filePath(QStringLiteral("Incomplete"))
                                                    : QDir(downloads).filePath(QStringLiteral("Incomplete"));
    if (GetParam().otherDisk)
        settings.setValue(QStringLiteral("kIncompleteFolder"), incomplete);
    AppPaths::setApplicationSupportPath(root.filePath(QStringLiteral("data")));
    BTCore::Parts parts = BTCore::defaultParts();
    parts.makePortMapper = [](quint16) { return std::unique_ptr<PortMapper>(); };
    BTCore::useParts(std::move(parts));
    QFile mounts(root.filePath(QStringLiteral("mountinfo")));
    ASSERT_TRUE(mounts.open(QIODevice::WriteOnly));
    mounts.write("20 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
    mounts.close();
    VolumeMonitor volumes(mounts.fileName());
    QList<PZAlert> alerts;
    PZAlert::Answer pending;
    PZAlert::setPresenter([&](const PZAlert& alert, PZAlert::Answer answer) {
        alerts.append(alert);
        pending = std::move(answer);
    });

    QProcess make;
    make.start(kPython, {peerScript(), QStringLiteral("make"), QStringLiteral("--dir"), seed, QStringLiteral("--size"),
                         QStringLiteral("3000017"), QStringLiteral("--piece-length"), QStringLiteral("65536"),
                         QStringLiteral("--announce"), QStringLiteral("http://127.0.0.1:9/announce")});
    ASSERT_TRUE(make.waitForFinished(60000) && make.exitCode() == 0) << make.readAllStandardError().constData();

    {
        KoApplicationController controller(volumes);
        controller.launch({seed + QStringLiteral("/payload.torrent")});
        ASSERT_TRUE(waitUntil([&] { return controller.downloads().objects().size() == 1; }, 10000));
        const TorrentLinePtr torrent = controller.downloads().objects().first();
        ASSERT_EQ(torrent->downloadState(), TorrentLine::Downloading);

        // Slow enough that the move comes while blocks are arriving.
        HelperProcess seeder(kPython, {peerScript(), QStringLiteral("seed"), QStringLiteral("--torrent"),
                                       seed + QStringLiteral("/payload.torrent"), QStringLiteral("--save"), seed,
                                       QStringLiteral("--encryption"), QStringLiteral("enabled"), QStringLiteral("--connect"),
                                       QStringLiteral("127.0.0.1:%1").arg(BTCore::instance().privatePort()),
                                       QStringLiteral("--upload-rate"), QStringLiteral("150000"),
                                       QStringLiteral("--seconds"), QStringLiteral("90")});
        ASSERT_FALSE(seeder.waitForLine("ready", 30000).isEmpty());
        ASSERT_TRUE(waitUntil([&] { return torrent->storedBlocks().count() > 8; }, 30000)) << "nothing arrived";
        ASSERT_FALSE(torrent->isComplete());

        settings.setBool(QStringLiteral("kUseIncompleteFolder"), true);
        ASSERT_TRUE(waitUntil([&] { return alerts.size() == 1; }, 5000));
        EXPECT_EQ(alerts[0].message, QStringLiteral("Move 1 incomplete torrent to the incomplete folder?"));
        std::exchange(pending, {})(0, false);
        ASSERT_TRUE(waitUntil([&] { return QDir::cleanPath(torrent->downloadPath()) == incomplete; }, 20000))
            << "moved to " << torrent->downloadPath().toStdString();
        EXPECT_FALSE(torrent->isComplete()) << "the move came too late to test anything";

        ASSERT_TRUE(waitUntil([&] { return torrent->isComplete() && torrent->downloadPath() == downloads; }, 60000))
            << torrent->downloadPath().toStdString() << " state " << torrent->downloadState();
        QFile expected(seed + QStringLiteral("/payload.bin"));
        QFile downloaded(downloads + QStringLiteral("/payload.bin"));
        ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
        ASSERT_TRUE(downloaded.open(QIODevice::ReadOnly));
        EXPECT_EQ(downloaded.readAll(), expected.readAll()) << "the downloaded bytes differ";
        EXPECT_EQ(torrent->downloadedPieces().count(), torrent->totalNumberOfPieces());
        // Across disks the source goes once the copy is in place, off the main thread.
        EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(incomplete + QStringLiteral("/payload.bin")); }, 10000));
        BTCore::instance().applicationWillTerminate();
        controller.applicationWillTerminate();
    }
    PZAlert::setPresenter({});
}

INSTANTIATE_TEST_SUITE_P(Disks, SeededMove,
                         ::testing::Values(MoveCase{"OneDisk", false}, MoveCase{"TwoDisks", true}),
                         [](const auto& info) { return std::string(info.param.name); });
