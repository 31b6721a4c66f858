#include "platform/VolumeMonitor.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

const QByteArray kTable =
    "22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "23 22 0:22 / /run rw,nosuid shared:2 - tmpfs tmpfs rw\n"
    "40 22 8:17 / /media/alice/My\\040Disk rw,nosuid shared:30 - vfat /dev/sdb1 rw\n"
    "41 22 8:33 / /mnt rw shared:31 - ext4 /dev/sdc1 rw\n"
    "garbage line\n"
    "42 22 8:49 / relative rw - ext4 /dev/sdd1 rw\n";

struct Fixture
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("mountinfo"));
    void write(const QByteArray& text)
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text);
    }
};

}  // namespace

TEST(VolumeMonitor, ParsesMountPointsWithEscapes)
{
    EXPECT_EQ(VolumeMonitor::parseMountInfo(kTable),
              (QStringList{"/", "/run", "/media/alice/My Disk", "/mnt"}));
    EXPECT_TRUE(VolumeMonitor::parseMountInfo("").isEmpty());
    EXPECT_EQ(VolumeMonitor::parseMountInfo("1 2 3 4 /a\\04"), QStringList{"/a\\04"});  // a short escape stays
}

TEST(VolumeMonitor, JudgesDetachedDisks)
{
    Fixture f;
    f.write(kTable);
    VolumeMonitor monitor(f.path);
    EXPECT_EQ(monitor.mountPointFor(QStringLiteral("/media/alice/My Disk/Films/a.mkv")), QStringLiteral("/media/alice/My Disk"));
    EXPECT_EQ(monitor.mountPointFor(QStringLiteral("/home/alice")), QStringLiteral("/"));

    struct Case
    {
        const char* path;
        const char* recorded;
        bool detached;
    } cases[] = {
        {"/home/alice/Downloads", "", false},
        {"/home/alice/Downloads", "/", false},
        {"/media/alice/My Disk/x", "", false},
        {"/media/alice/Other/x", "", true},       // its mount point is an empty folder on the root disk
        {"/run/media/alice/Stick/x", "", true},   // only /run (a tmpfs) holds it
        {"/mnt/data/x", "", false},               // a disk is mounted at /mnt
        {"/data/x", "/data", true},               // recorded on a mount that is gone
        {"/media/alice/My Disk/x", "/media/alice/My Disk", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(monitor.isDetached(QString::fromUtf8(c.path), QString::fromUtf8(c.recorded)), c.detached) << c.path;

    // What a torrent added to a folder records, and the name its disk goes by.
    const QStringList recorded{"/", "/srv/big/", "/media/alice/My Disk"};
    const struct
    {
        const char* folder;
        const char* mountPoint;
        const char* name;
    } records[] = {
        {"/srv/big/Downloads/", "/srv/big", "big"},  // recorded before, away now
        {"/srv/bigger/x", "/", "System"},
        {"/media/Other/x/", "/media/Other", "Other"},
        {"/mnt/data/x", "/mnt", "mnt"},
    };
    for (const auto& r : records) {
        const QString mountPoint = monitor.mountPointToRecord(QString::fromUtf8(r.folder), recorded);
        EXPECT_EQ(mountPoint, QString::fromUtf8(r.mountPoint)) << r.folder;
        EXPECT_EQ(VolumeMonitor::volumeName(mountPoint), QString::fromUtf8(r.name)) << r.folder;
    }
}

TEST(VolumeMonitor, ReportsChangesOnReload)
{
    Fixture f;
    f.write(kTable);
    VolumeMonitor monitor(f.path);
    QSignalSpy changed(&monitor, &VolumeMonitor::mountsChanged);
    f.write("22 1 0:21 / / rw - ext4 /dev/vda rw\n99 22 8:1 / /media/alice/New rw - vfat /dev/sde1 rw\n");
    monitor.reload();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toStringList(), QStringList{"/media/alice/New"});
    EXPECT_EQ(changed.at(0).at(1).toStringList(), (QStringList{"/run", "/media/alice/My Disk", "/mnt"}));
    monitor.reload();
    EXPECT_EQ(changed.count(), 1) << "no change, no signal";
}

TEST(VolumeMonitor, ReadsTheRealMountTable)
{
    VolumeMonitor monitor(QStringLiteral("/proc/self/mountinfo"));
    EXPECT_TRUE(monitor.mountPoints().contains(QStringLiteral("/")));
    EXPECT_EQ(monitor.mountPointFor(QStringLiteral("/proc/self")), QStringLiteral("/proc"));
}
