#pragma once

#include "engine/lifecycle/TmpfsMount.h"

#include <QProcess>
#include <unistd.h>

namespace ombrelay::test {

// An ext4 image on a loop device, mounted and unmounted as a user plugs and unplugs a disk: unmounted,
// its mount point is an empty folder, and its files come back with the next mount. Needs root,
// mkfs.ext4 and losetup.
class LoopDisk : public Mount
{
public:
    LoopDisk(const QString& image, const QString& mountPoint) : Mount(mountPoint)
    {
        QProcess mkfs, losetup;
        if (::geteuid() == 0)
            mkfs.start("/usr/sbin/mkfs.ext4", {"-q", image, "16M"});
        if (mkfs.waitForFinished() && mkfs.exitCode() == 0)
            losetup.start("/usr/sbin/losetup", {"-f", "--show", image});
        if (losetup.waitForFinished() && losetup.exitCode() == 0)
            m_device = QString::fromLocal8Bit(losetup.readAllStandardOutput().trimmed());
        mount();
    }
    ~LoopDisk()
    {
        if (unmount() && !m_device.isEmpty())
            QProcess::execute("/usr/sbin/losetup", {"-d", m_device});
    }
    bool mount() { return Mount::mount(m_device, "ext4"); }

private:
    QString m_device;
};

}  // namespace ombrelay::test
