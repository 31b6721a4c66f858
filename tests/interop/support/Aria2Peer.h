#pragma once

#include "interop/support/HelperProcess.h"

#include <QDir>
#include <memory>

namespace ombrelay::test {

// aria2 requiring RC4 for every peer connection, seeding the torrent from `directory` or fetching it
// there, listening on `listenPort`, announcing to `tracker` if given. No DHT, local discovery or peer
// exchange; it stops after 40 s.
inline std::unique_ptr<HelperProcess> aria2RequiringEncryption(const QString& torrentPath, const QString& directory,
                                                               quint16 listenPort, const QString& tracker = {})
{
    QDir().mkpath(directory);
    QStringList arguments{QStringLiteral("--bt-require-crypto=true"), QStringLiteral("--bt-min-crypto-level=arc4"),
                          QStringLiteral("--listen-port=%1").arg(listenPort), QStringLiteral("--enable-dht=false"),
                          QStringLiteral("--bt-enable-lpd=false"), QStringLiteral("--enable-peer-exchange=false"),
                          QStringLiteral("--seed-ratio=0.0"), QStringLiteral("--check-integrity=true"),
                          QStringLiteral("--bt-tracker-connect-timeout=5"), QStringLiteral("--stop=40"),
                          QStringLiteral("--console-log-level=warn"), QStringLiteral("--summary-interval=0"),
                          QStringLiteral("--dir=%1").arg(directory), torrentPath};
    if (!tracker.isEmpty())
        arguments << QStringLiteral("--bt-tracker=%1").arg(tracker);
    return std::make_unique<HelperProcess>(QStringLiteral("/usr/bin/aria2c"), arguments);
}

}  // namespace ombrelay::test
