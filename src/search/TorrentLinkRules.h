#pragma once

#include <QString>
#include <QStringList>

namespace ombrelay {

// Which absolute addresses lead to a torrent file: an ignore list, fixed download-address prefixes of known
// torrent sites, rewrites of their detail-page addresses into download addresses, and finally the
// extension ".torrent" or ".tstream". Pure and thread-safe.
class TorrentLinkRules
{
public:
    // The torrent-file address for an absolute address, or a null string.
    static QString torrentAddressFromAddress(const QString& address);
    // Texts that make an address never a torrent link.
    static const QStringList& substringsToIgnore();
};

}  // namespace ombrelay
