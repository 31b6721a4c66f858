#include "platform/VolumeMonitor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace ombrelay {

namespace {

constexpr qint64 kMaxMountInfoBytes = 4 * 1024 * 1024;

// Mount points escape space, tab, newline and backslash as three octal digits.
QString decodeMountPoint(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char c : digits)
                ok = ok && c >= '0' && c <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

bool isAtOrBelow(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

QString deepestMountPointOf(const QString& clean, const QStringList& mountPoints)
{
    QString best;
    for (const QString& point : mountPoints)
        if (isAtOrBelow(clean, point) && point.size() > best.size())
            best = point;
    return best;
}

// The removable-media folder a cleaned path lies below, or none.
QString removableRootOf(const QString& path)
{
    static const QStringList roots{QStringLiteral("/media"), QStringLiteral("/run/media"), QStringLiteral("/mnt")};
    for (const QString& root : roots)
        if (path.startsWith(root + QLatin1Char('/')))
            return root;
    return {};
}

QString userName()
{
    if (const passwd* entry = ::getpwuid(::geteuid()))
        return QFile::decodeName(entry->pw_name);
    return qEnvironmentVariable("USER");
}

// Where the disk of a path below a removable-media folder is mounted: the automounter's
// /run/media/<user>/<disk> or /media/<user>/<disk>, else <root>/<disk>.
QString removableDiskFolder(const QString& path, const QString& root)
{
    const QStringList parts = path.mid(root.size() + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const bool perUser = root == QLatin1String("/run/media") || (root == QLatin1String("/media") && parts.first() == userName());
    return root + QLatin1Char('/') + parts.mid(0, perUser && parts.size() > 1 ? 2 : 1).join(QLatin1Char('/'));
}

QByteArray readMountInfo(int fd)
{
    QByteArray text;
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0 || text.size() + n > kMaxMountInfoBytes)
            break;
        text.append(buffer, n);
    }
    return text;
}

}  // namespace

VolumeMonitor& VolumeMonitor::instance()
{
    static VolumeMonitor monitor(QStringLiteral("/proc/self/mountinfo"));
    return monitor;
}

VolumeMonitor::VolumeMonitor(const QString& mountInfoPath, QObject* parent)
    : QObject(parent), m_mountInfoPath(mountInfoPath)
{
    m_fd = ::open(QFile::encodeName(mountInfoPath).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        qWarning("*** Cannot read the mount table %s", qPrintable(mountInfoPath));
        return;
    }
    m_mountPoints = parseMountInfo(readMountInfo(m_fd));  // no other thread knows this monitor yet
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Exception);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VolumeMonitor::reload);
}

VolumeMonitor::~VolumeMonitor()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringList VolumeMonitor::parseMountInfo(const QByteArray& text)
{
    QStringList points;
    for (const QByteArray& line : text.split('\n')) {
        // "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw": the fifth field.
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5 || !fields[4].startsWith('/'))
            continue;
        const QString point = QDir::cleanPath(decodeMountPoint(fields[4]));
        if (!points.contains(point))
            points.append(point);
    }
    return points;
}

QStringList VolumeMonitor::mountPoints() const
{
    std::lock_guard lock(m_lock);
    return m_mountPoints;
}

QString VolumeMonitor::mountPointFor(const QString& path) const
{
    return deepestMountPointOf(QDir::cleanPath(path), mountPoints());
}

bool VolumeMonitor::isDetached(const QString& path, const QString& recordedMountPoint) const
{
    if (!recordedMountPoint.isEmpty())
        return !mountPoints().contains(QDir::cleanPath(recordedMountPoint));
    // Without a record, only paths on removable-media folders can be judged: such a disk is attached
    // when a mount at or below its removable-media folder holds it.
    const QString clean = QDir::cleanPath(path);
    const QString root = removableRootOf(clean);
    return !root.isEmpty() && !isAtOrBelow(mountPointFor(clean), root);
}

QString VolumeMonitor::mountPointToRecord(const QString& path, const QStringList& recorded) const
{
    const QString clean = QDir::cleanPath(path);
    QString best = mountPointFor(clean);
    // A recorded mount deeper than any mount now is one whose disk is away.
    for (const QString& point : recorded) {
        const QString known = QDir::cleanPath(point);
        if (!known.isEmpty() && isAtOrBelow(clean, known) && known.size() > best.size())
            best = known;
    }
    const QString root = removableRootOf(clean);
    if (!root.isEmpty() && !isAtOrBelow(best, root))
        best = removableDiskFolder(clean, root);
    return best;
}

QString VolumeMonitor::volumeName(const QString& mountPoint)
{
    const QString clean = QDir::cleanPath(mountPoint);
    if (clean == QLatin1String("/"))
        return QCoreApplication::translate("VolumeMonitor", "System");
    return clean.section(QLatin1Char('/'), -1);
}

void VolumeMonitor::reload()
{
    if (m_fd < 0)
        return;
    const QStringList now = parseMountInfo(readMountInfo(m_fd));
    const QStringList before = mountPoints();
    QStringList added, removed;
    for (const QString& p : now)
        if (!before.contains(p))
            added.append(p);
    for (const QString& p : before)
        if (!now.contains(p))
            removed.append(p);
    {
        std::lock_guard lock(m_lock);
        m_mountPoints = now;
    }
    if (!added.isEmpty() || !removed.isEmpty())
        emit mountsChanged(added, removed);
}

}  // namespace ombrelay
