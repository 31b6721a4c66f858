#pragma once

#include "engine/core/EngineHost.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <tuple>

namespace ombrelay {

// The folder "kKoAutodownloadLocation" watched for torrent files while "kAutodownload" is on. A file is
// taken once its size and time did not change between two scans, and at most once per identity
// (device, inode, size, time): a half-written file refused once is tried again when it changes, and a
// new file that reuses an inode is taken.
class WatchFolder
{
public:
    // Receives the accepted lines of one scan.
    using AddLines = std::function<void(const TorrentLineList& lines)>;

    explicit WatchFolder(AddLines add) : m_add(std::move(add)) {}

    void scan();

private:
    struct Identity
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 mtimeNs = 0;
        bool operator==(const Identity&) const = default;
        friend size_t qHash(const Identity& id, size_t seed = 0)
        {
            return qHashMulti(seed, id.device, id.inode, id.size, id.mtimeNs);
        }
    };

    AddLines m_add;
    QHash<QString, Identity> m_lastSeen;  // path -> identity at the previous scan
    QSet<Identity> m_taken;
};

}  // namespace ombrelay
