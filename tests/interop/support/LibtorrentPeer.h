#pragma once

#include "interop/support/HelperProcess.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

namespace ombrelay::test {

inline const QString kPython = QStringLiteral("/usr/bin/python3");

// A helper script of tests/interop/peers.
inline QString peerScript(const char* name = "lt_peer.py")
{
    return testSourcePath(QStringLiteral("interop/peers/%1").arg(QLatin1String(name)));
}

// Writes payload.bin (or a payload folder) and payload.torrent into `dir` with lt_peer.py; `options` are its
// make options (--size, --files, --announce, --node, --piece-length). Answers the info hash in hex.
inline QByteArray makePayload(const QString& dir, const QStringList& options = {})
{
    HelperProcess make(kPython, QStringList{peerScript(), QStringLiteral("make"), QStringLiteral("--dir"), dir} + options);
    const QByteArray hash = make.waitForLine("", 60000);
    EXPECT_TRUE(make.waitForExit(10000));
    return hash;
}

// A libtorrent peer in `role` ("seed" or "fetch") of `torrent` on `save`, encryption "required", "enabled"
// or "disabled", for `seconds`; `extra` adds options (--connect, --upload-rate). With `port`, "ready <port>"
// has been read into it.
inline std::unique_ptr<HelperProcess> libtorrentPeer(const char* role, const QString& torrent, const QString& save,
                                                     const char* encryption, int seconds, quint16* port = nullptr,
                                                     const QStringList& extra = {})
{
    auto peer = std::make_unique<HelperProcess>(
        kPython, QStringList{peerScript(), QLatin1String(role), QStringLiteral("--torrent"), torrent,
                             QStringLiteral("--save"), save, QStringLiteral("--encryption"), QLatin1String(encryption),
                             QStringLiteral("--seconds"), QString::number(seconds)}
                     + extra);
    if (port)
        *port = peer->waitForLine("ready", 60000).toUShort();
    return peer;
}

// The SHA-1 of the file at `path`; empty when it cannot be read.
inline QByteArray fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result();
}

}  // namespace ombrelay::test
