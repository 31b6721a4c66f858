#pragma once

#include "engine/torrent/DhtNodeAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ombrelay {

// What the torrent model takes from a metainfo file, checked. read() refuses (none) unless: the top level
// is a dictionary with an "info" dictionary; the name is a plain, non-empty component; 0 < piece length
// < 2^31; "pieces" holds 20 bytes for each of ceil(total / piece length) pieces; every length is >= 0 and
// their sum neither overflows nor is 0; every "files" entry is a dictionary whose "path" is a non-empty
// list of plain components; no two files share a path and no file is also a folder of another; one entry
// at least is not padding (an "attr" holding "p": zeros that align the next file, whose paths are not
// checked against the others); the trackers are texts (or lists of texts) and an "announce" is there
// unless an "announce-list" is.
// Components longer than 255 bytes are shortened keeping their extension. The bytes are kept unchanged.
struct Metainfo
{
    struct File
    {
        QStringList components;
        qint64 length = 0;
        bool padding = false;
    };

    QByteArray data;      // the metainfo exactly as read
    QByteArray infoHash;  // SHA-1 of the "info" value as it stands in the data
    QString name;
    qint64 pieceLength = 0;
    QByteArray pieces;
    bool hasFileList = false;
    QList<File> files;  // in metainfo order, padding included; empty for a single file
    qint64 totalLength = 0;
    QStringList trackersHTTP;
    QStringList trackersUDP;
    QList<DhtNodeAddress> dhtNodes;

    static std::optional<Metainfo> read(const QByteArray& data);
    // No for the announce address of a tracker the system never announces to.
    static bool isAllowedTracker(const QString& address);
};

}  // namespace ombrelay
