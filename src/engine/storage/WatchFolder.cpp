#include "engine/storage/WatchFolder.h"

#include "engine/torrent/TorrentLine.h"
#include "kit/AppPaths.h"
#include "kit/Settings.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace ombrelay {

void WatchFolder::scan()
{
    const Settings& settings = Settings::instance();
    if (!settings.boolean(QStringLiteral("kAutodownload")))
        return;
    const QDir folder(AppPaths::expandTilde(settings.string(QStringLiteral("kKoAutodownloadLocation"))));
    const QStringList names = folder.entryList({QStringLiteral("*.torrent"), QStringLiteral("*.tstream")},
                                               QDir::Files | QDir::CaseSensitive);
    QHash<QString, Identity> seen;
    TorrentLineList lines;
    for (const QString& name : names) {
        const QString path = folder.filePath(name);
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const Identity id{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                          qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
        seen.insert(path, id);
        // Still being written while its size or time moves.
        if (m_lastSeen.value(path) != id || m_taken.contains(id))
            continue;
        m_taken.insert(id);
        if (TorrentLinePtr line = TorrentLine::torrentLineForPath(path))
            lines.append(line);
        else
            qWarning("*** Skipped %s in the watched folder: not a torrent", qPrintable(path));
    }
    m_lastSeen = seen;
    if (!lines.isEmpty())
        m_add(lines);
}

}  // namespace ombrelay
