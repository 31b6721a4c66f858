// The application as a user runs it, under a private X server: a libtorrent seeder announces to an
// opentracker on loopback, `ombrelay payload.torrent` downloads it in a fresh settings and data folder,
// a later launch hands its torrent to the running instance, and a restart shows the transfer complete.
#include "app/shell/launch/AppUnderXvfb.h"
#include "engine/torrent/Metainfo.h"
#include "engine/torrent/TorrentFixtures.h"
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

QString peerScript()
{
    return testSourcePath(QStringLiteral("interop/peers/lt_peer.py"));
}

class EndToEnd : public AppUnderXvfb
{
protected:
    void SetUp() override
    {
        if (!OpentrackerProcess::isInstalled() || !QFileInfo(kPython).isExecutable())
            GTEST_SKIP() << "needs opentracker and python3-libtorrent (scripts/install-deps)";
        AppUnderXvfb::SetUp();
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
        EXPECT_TRUE(app->waitFor([this] { return windowIsShown(); }, 20000)) << "no window on " << display->display().toStdString();
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
