#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <sys/mount.h>

namespace ombrelay::test {

// A file system the test mounts over a folder of its own, unmounted when it goes. Mounting needs a
// privilege a test run may lack: a test checks isMounted() and skips without it.
class Mount
{
public:
    explicit Mount(const QString& path) : m_path(path) { QDir().mkpath(path); }
    ~Mount() { unmount(); }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool isMounted() const { return m_mounted; }
    bool mount(const QString& source, const char* type, unsigned long flags = 0,
               const QByteArray& options = {})
    {
        if (!m_mounted && !source.isEmpty())
            m_mounted = ::mount(QFile::encodeName(source).constData(), QFile::encodeName(m_path).constData(),
                                type, flags, options.constData()) == 0;
        return m_mounted;
    }
    // Gone from the mount table at once, whatever still holds a file open on it.
    bool unmount()
    {
        if (m_mounted && ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH) == 0)
            m_mounted = false;
        return !m_mounted;
    }

private:
    QString m_path;
    bool m_mounted = false;
};

// A small tmpfs.
struct TmpfsMount : Mount
{
    TmpfsMount(const QString& path, const QByteArray& options, bool readOnly = false) : Mount(path)
    {
        mount(QStringLiteral("tmpfs"), "tmpfs", readOnly ? MS_RDONLY : 0, options);
    }
};

}  // namespace ombrelay::test
