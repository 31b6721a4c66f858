#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <sys/mount.h>
#include <unistd.h>

namespace ombrelay::test {

// A small ext4 disk in an image file of the test's own, on a loop device, that the test mounts over a
// folder of its own and unmounts as a user plugs and unplugs a disk: unmounted, its mount point is an
// empty folder of the disk above, and its files come back with the next mount (a tmpfs would lose them).
// It is mounted in the process's mount namespace: the engine's threads must see what its main thread
// sees, and a namespace entered by one thread holds that thread alone. Needs root, mkfs.ext4 and
// losetup: a test checks isMounted() after making it and skips without.
class LoopDisk
{
public:
    LoopDisk(const QString& image, const QString& mountPoint) : m_mountPoint(mountPoint)
    {
        QDir().mkpath(mountPoint);
        QFile file(image);
        if (::geteuid() != 0 || !file.open(QIODevice::WriteOnly) || !file.resize(kImageBytes))
            return;
        file.close();
        QByteArray device;
        if (run(QStringLiteral("/usr/sbin/mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), image}) &&
            run(QStringLiteral("/usr/sbin/losetup"),
                {QStringLiteral("--find"), QStringLiteral("--show"), image}, &device))
            m_device = QString::fromLocal8Bit(device.trimmed());
        mount();
    }
    ~LoopDisk()
    {
        unmount();
        if (!m_device.isEmpty())
            run(QStringLiteral("/usr/sbin/losetup"), {QStringLiteral("-d"), m_device});
    }
    LoopDisk(const LoopDisk&) = delete;
    LoopDisk& operator=(const LoopDisk&) = delete;

    bool isMounted() const { return m_mounted; }
    bool mount()
    {
        if (!m_mounted && !m_device.isEmpty())
            m_mounted = ::mount(QFile::encodeName(m_device).constData(),
                                QFile::encodeName(m_mountPoint).constData(), "ext4", 0, nullptr) == 0;
        return m_mounted;
    }
    // As a disk pulled out: gone from the mount table at once, whatever still holds a file open on it.
    bool unmount()
    {
        if (m_mounted && ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH) == 0)
            m_mounted = false;
        return !m_mounted;
    }

private:
    static constexpr qint64 kImageBytes = 16 << 20;

    static bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
    {
        if (!QFileInfo(program).isExecutable())
            return false;
        QProcess process;
        process.start(program, arguments);
        const bool done = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
                          process.exitCode() == 0;
        if (output)
            *output = process.readAllStandardOutput();
        return done;
    }

    QString m_mountPoint;
    QString m_device;  // the loop device over the image
    bool m_mounted = false;
};

}  // namespace ombrelay::test
