#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

class QSocketNotifier;

namespace ombrelay {

// The mounted file systems, from the kernel's mount table, and whether a path's disk is attached.
// A path is detached when the mount it was recorded on is gone; an unmounted disk leaves its mount point
// behind as an empty folder, so a missing folder says nothing and an existing one proves nothing.
// The table is read again on the main thread; the questions may be asked from any thread.
class VolumeMonitor : public QObject
{
    Q_OBJECT
public:
    // Watches /proc/self/mountinfo (the kernel wakes readers with POLLPRI when it changes).
    static VolumeMonitor& instance();

    explicit VolumeMonitor(const QString& mountInfoPath, QObject* parent = nullptr);
    ~VolumeMonitor() override;

    // The mount points listed in a mountinfo text (octal escapes decoded); bounded by the caller.
    static QStringList parseMountInfo(const QByteArray& text);

    QStringList mountPoints() const;
    // The mount point a path lies on now: the longest mount point that is the path or a folder above it.
    QString mountPointFor(const QString& path) const;
    // Detached when the recorded mount point is no longer mounted. Without a recorded mount point, a
    // path under "/media", "/run/media" or "/mnt" counts as detached when no mount at or below that
    // folder holds it.
    bool isDetached(const QString& path, const QString& recordedMountPoint = {}) const;
    // The mount point to record for a download folder: the one it lies on now, unless a deeper one is
    // known for it while its disk is away: the deepest of `recorded` (mount points recorded before) at or
    // above it, else its disk's folder under "/media", "/run/media" or "/mnt" when no mount there holds it.
    QString mountPointToRecord(const QString& path, const QStringList& recorded = {}) const;
    // The name a disk goes by: the last component of its mount point; the root is the system disk.
    static QString volumeName(const QString& mountPoint);

    // Reads the table again (also done by itself on change).
    void reload();

signals:
    void mountsChanged(const QStringList& added, const QStringList& removed);

private:
    QString m_mountInfoPath;
    mutable std::mutex m_lock;
    QStringList m_mountPoints;  // under m_lock
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace ombrelay
