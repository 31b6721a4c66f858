// A disk slower than the network: the driver asks a libtorrent seeder for no more blocks while the write
// backlog is full, so what waits for the disk stays bounded, and the download still completes byte-exact.
#include "engine/storage/WriteBacklog.h"
#include "engine/wire/PeerMessage.h"
#include "engine/wire/PeerWire.h"
#include "interop/support/HelperProcess.h"
#include "interop/support/LibtorrentPeer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay::test;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
// What one peer may still send once the backlog is full: its whole request queue of blocks.
constexpr qint64 kOnePeersRequests = qint64(ombrelay::PeerWire::kOurRequestQueue) * ombrelay::PeerMessage::kBlockSize;
constexpr qint64 kBacklogBound = ombrelay::WriteBacklog::kMaxBytes;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SlowDiskDownloadTest, TheWriteBacklogStaysBoundedAndTheDownloadCompletesByteExact)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString seed = root.filePath(QStringLiteral("seed"));
    const QString torrent = root.filePath(QStringLiteral("seed/payload.torrent"));
    constexpr int kSize = 3 * int(kBacklogBound);
    HelperProcess make(kPython, {peerScript(), "make", "--dir", seed, "--size", QString::number(kSize),
                                 "--piece-length", QString::number(512 * 1024)});
    ASSERT_FALSE(make.waitForLine("", 60000).isEmpty());
    ASSERT_TRUE(make.waitForExit(10000));
    HelperProcess seeder(kPython, {peerScript(), "seed", "--torrent", torrent, "--save", seed, "--encryption",
                                   "required", "--seconds", "240"});
    const quint16 seederPort = seeder.waitForLine("ready", 60000).toUShort();
    ASSERT_NE(seederPort, 0);

    const QString data = root.filePath(QStringLiteral("data"));
    const QString download = root.filePath(QStringLiteral("download"));
    ASSERT_TRUE(QDir().mkpath(data));
    HelperProcess driver(QStringLiteral(OMBRELAY_ENGINE_DRIVER),
                         {"--data", data, "--download", download, "--port", "0", "--peer",
                          QStringLiteral("127.0.0.1:%1").arg(seederPort), "--timeout", "200", "--write-rate",
                          QString::number(20 << 20), torrent});
    const qint64 peak = driver.waitForLine("write backlog peak", 210000).toLongLong();
    ASSERT_TRUE(driver.waitForExit(10000));
    EXPECT_EQ(driver.exitCode(), 0);
    EXPECT_GT(peak, 0);
    EXPECT_LE(peak, kBacklogBound + kOnePeersRequests);
    EXPECT_TRUE(readAll(QDir(download).filePath(QStringLiteral("payload.bin")))
                == readAll(QDir(seed).filePath(QStringLiteral("payload.bin"))));
}

}  // namespace
