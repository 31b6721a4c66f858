#pragma once

#include "interop/support/HelperProcess.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <memory>

namespace ombrelay::test {

// The ports the system hands out for port 0, as aria2 takes them ("32768-60999"): aria2 refuses port 0,
// and no one binds one of these by number.
inline QString systemPickedPorts()
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    const QList<QByteArray> range = file.open(QIODevice::ReadOnly) ? file.readAll().simplified().split(' ')
                                                                   : QList<QByteArray>{};
    if (range.size() != 2)
        return QStringLiteral("32768-60999");
    return QStringLiteral("%1-%2").arg(std::max(range[0].toInt(), 1024)).arg(range[1].toInt());
}

// What aria2 does once it holds the whole torrent.
enum class Aria2Completion { KeepsSeeding, Leaves };

// aria2 requiring RC4 for every peer connection, seeding the torrent from `directory` or fetching it
// there, announcing to `tracker` if given. It listens on a port of those the system hands out, trying them
// in random order until one binds; listeningPortOf(processId()) tells which. No DHT, local discovery or
// peer exchange; it stops after 40 s, or once complete when it `Leaves`.
inline std::unique_ptr<HelperProcess> aria2RequiringEncryption(const QString& torrentPath, const QString& directory,
                                                               const QString& tracker = {},
                                                               Aria2Completion completion = Aria2Completion::KeepsSeeding)
{
    QDir().mkpath(directory);
    QStringList arguments{QStringLiteral("--bt-require-crypto=true"), QStringLiteral("--bt-min-crypto-level=arc4"),
                          QStringLiteral("--listen-port=%1").arg(systemPickedPorts()), QStringLiteral("--enable-dht=false"),
                          QStringLiteral("--bt-enable-lpd=false"), QStringLiteral("--enable-peer-exchange=false"),
                          QStringLiteral("--seed-ratio=0.0"), QStringLiteral("--check-integrity=true"),
                          QStringLiteral("--bt-tracker-connect-timeout=5"), QStringLiteral("--stop=40"),
                          QStringLiteral("--console-log-level=warn"), QStringLiteral("--summary-interval=0"),
                          QStringLiteral("--dir=%1").arg(directory), torrentPath};
    if (!tracker.isEmpty())
        arguments << QStringLiteral("--bt-tracker=%1").arg(tracker);
    if (completion == Aria2Completion::Leaves)
        arguments << QStringLiteral("--seed-time=0");
    return std::make_unique<HelperProcess>(QStringLiteral("/usr/bin/aria2c"), arguments);
}

}  // namespace ombrelay::test
