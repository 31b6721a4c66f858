#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <sys/mount.h>

namespace ombrelay::test {

// A small tmpfs the test mounts over a folder of its own, unmounted when it goes. Mounting needs a
// privilege a test run may lack: a test checks isMounted() and skips without it.
class TmpfsMount
{
public:
    TmpfsMount(const QString& path, const QByteArray& options, bool readOnly = false) : m_path(path)
    {
        QDir().mkpath(path);
        m_mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs",
                            readOnly ? MS_RDONLY : 0, options.constData()) == 0;
    }
    ~TmpfsMount()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool isMounted() const { return m_mounted; }

private:
    QString m_path;
    bool m_mounted = false;
};

}  // namespace ombrelay::test
