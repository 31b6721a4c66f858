// A download fills its disk: the driver (in a mount namespace of its own, its download folder a small
// tmpfs) pauses with the error; once room is made it resumes and completes with the right bytes.
#include "interop/support/EngineDriver.h"
#include "interop/support/LibtorrentPeer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ombrelay::test;

namespace {

// Mounts a 4 MiB tmpfs over the download folder ($1) and fills half of it, runs the driver (the rest of
// the arguments), then prints the digest of the download.
const char kFullDiskScript[] = R"sh(folder=$1; shift
mount -t tmpfs -o size=4m tmpfs "$folder" || exit 3
head -c 2097152 /dev/zero > "$folder/filler" || exit 3
"$@"; code=$?
echo "digest $(sha1sum < "$folder/payload.bin" | cut -d' ' -f1)"
exit $code)sh";

TEST(DiskFullTest, ADownloadThatFilledItsDiskCompletesOnceRoomIsMadeAndItResumes)
{
    if (::geteuid() != 0 || !QFileInfo::exists(QStringLiteral("/usr/bin/unshare")))
        GTEST_SKIP() << "needs root and unshare for a mount namespace of its own";
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString seedFolder = root.filePath(QStringLiteral("seed"));
    const QByteArray hash = makePayload(seedFolder, {QStringLiteral("--size"), QStringLiteral("3000000"),
                                                     QStringLiteral("--piece-length"), QStringLiteral("65536")});
    const QString torrent = QDir(seedFolder).filePath(QStringLiteral("payload.torrent"));
    quint16 seedPort = 0;
    auto seeder = libtorrentPeer("seed", torrent, seedFolder, "enabled", 60, &seedPort);
    ASSERT_NE(seedPort, 0);

    EngineDriver driver(root.filePath(QStringLiteral("leech")));
    ASSERT_TRUE(QDir().mkpath(driver.downloadFolder()));
    EngineDriver::Options options{{QStringLiteral("127.0.0.1:%1").arg(seedPort)}, 0, 45};
    options.resumeAfterErrorSeconds = 2;
    options.wrapper = {QStringLiteral("/usr/bin/unshare"), QStringLiteral("--mount"), QStringLiteral("--propagation"),
                       QStringLiteral("private"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                       QLatin1String(kFullDiskScript), QStringLiteral("sh"), driver.downloadFolder()};
    HelperProcess& run = driver.start({torrent}, options);
    const QByteArray paused = run.waitForLine("state " + hash + " paused", 40000);
    EXPECT_TRUE(paused.contains(std::strerror(ENOSPC)))
        << "paused with the disk's error, not \"" << paused.constData() << '"';

    // Room is made inside the driver's namespace, as a user would free the disk.
    const QString filler = QStringLiteral("/proc/%1/root%2/filler").arg(run.processId()).arg(driver.downloadFolder());
    ASSERT_TRUE(QFile::remove(filler)) << qPrintable(filler);
    EXPECT_EQ(run.waitForLine("state " + hash + " complete", 40000), QByteArray());
    EXPECT_EQ(run.waitForLine("digest", 10000), fileDigest(QDir(seedFolder).filePath("payload.bin")).toHex());
    ASSERT_TRUE(run.waitForExit(10000));
    EXPECT_EQ(run.exitCode(), 0);
}

}  // namespace
