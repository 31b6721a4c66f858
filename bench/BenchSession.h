#pragma once

#include "engine/bencode/BValue.h"
#include "engine/bencode/Bencoder.h"
#include "kit/AppPaths.h"
#include "kit/DefaultSettings.h"
#include "kit/Settings.h"
#include "platform/VolumeMonitor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace ombrelay::bench {

// A single-file metainfo whose info hash differs for each `n`.
inline QByteArray generatedMetainfo(int n, qint64 length, qint64 pieceLength)
{
    BValue info;
    info.insert("length", length);
    info.insert("name", QByteArray("Generated transfer ") + QByteArray::number(n) + ".iso");
    info.insert("piece length", pieceLength);
    QByteArray pieces(int((length + pieceLength - 1) / pieceLength) * 20, '\0');
    pieces.replace(0, 6, QByteArray::number(n).rightJustified(6, '0'));
    info.insert("pieces", pieces);
    BValue metainfo;
    metainfo.insert("announce", "http://127.0.0.1:9/announce");
    metainfo.insert("info", std::move(info));
    return Bencoder::bencodingForObject(metainfo);
}

// Settings, the data folder and a one-disk mount table in a temporary folder.
struct BenchSession
{
    QTemporaryDir folder;
    std::unique_ptr<VolumeMonitor> volumes;

    BenchSession()
    {
        Settings::useFile(folder.filePath(QStringLiteral("Ombrelay.conf")));
        registerDefaultSettings(Settings::instance());
        Settings::instance().setValue(QStringLiteral("save_directory"),
                                      folder.filePath(QStringLiteral("Downloads")));
        AppPaths::setApplicationSupportPath(folder.filePath(QStringLiteral("data")));
        QDir().mkpath(folder.filePath(QStringLiteral("data")));
        QFile mounts(folder.filePath(QStringLiteral("mountinfo")));
        if (mounts.open(QIODevice::WriteOnly))
            mounts.write("20 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
        mounts.close();
        volumes = std::make_unique<VolumeMonitor>(folder.filePath(QStringLiteral("mountinfo")));
    }
};

} // namespace ombrelay::bench
