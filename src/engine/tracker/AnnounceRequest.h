#pragma once

#include "engine/core/TrackerService.h"

#include <QByteArray>
#include <QtGlobal>

namespace ombrelay {

// The query of one HTTP announce, in the order trackers get it.
struct AnnounceRequest
{
    QByteArray infoHash;  // 20 bytes
    QByteArray peerId;    // 20 bytes
    quint16 port = 0;     // the listening port actually bound
    quint64 uploaded = 0;
    quint64 downloaded = 0;
    quint64 left = 0;
    QByteArray key;       // makeKey(), once per torrent
    TrackerEvent event = TrackerEvent::None;
    QByteArray trackerId; // as the tracker sent it; empty when none

    // The announce address with this query after "?" (or "&" when it already has a query).
    QByteArray addressFor(const QByteArray& announceAddress) const;

    // Letters and digits as they are, every other byte as "%XX" (upper-case hexadecimal).
    static QByteArray escape(const QByteArray& bytes);
    // 10 characters from [a-z0-9].
    static QByteArray makeKey();
    static QByteArray eventName(TrackerEvent event);  // empty for None
};

}  // namespace ombrelay
