#include "engine/tracker/AnnounceRequest.h"

#include <QRandomGenerator>

namespace ombrelay {

QByteArray AnnounceRequest::escape(const QByteArray& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const uchar b = uchar(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) {
            out += char(b);
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

QByteArray AnnounceRequest::makeKey()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray key(10, Qt::Uninitialized);
    for (char& c : key)
        c = alphabet[QRandomGenerator::system()->bounded(36)];
    return key;
}

QByteArray AnnounceRequest::eventName(TrackerEvent event)
{
    switch (event) {
    case TrackerEvent::Started: return "started";
    case TrackerEvent::Completed: return "completed";
    case TrackerEvent::Stopped: return "stopped";
    case TrackerEvent::None: break;
    }
    return {};
}

QByteArray AnnounceRequest::addressFor(const QByteArray& announceAddress) const
{
    QByteArray address = announceAddress;
    address += announceAddress.contains('?') ? '&' : '?';
    address += "info_hash=" + escape(infoHash);
    address += "&peer_id=" + escape(peerId);
    address += "&port=" + QByteArray::number(port);
    address += "&numwant=200&compact=1";
    address += "&supportcrypto=1&requirecrypto=0";
    address += "&uploaded=" + QByteArray::number(uploaded);
    address += "&downloaded=" + QByteArray::number(downloaded);
    address += "&left=" + QByteArray::number(left);
    address += "&key=" + escape(key);
    const QByteArray eventText = eventName(event);
    if (!eventText.isEmpty())
        address += "&event=" + eventText;
    // The id comes from the tracker: escaped, so that it cannot add parameters of its own.
    if (!trackerId.isEmpty())
        address += "&trackerid=" + escape(trackerId);
    return address;
}

}  // namespace ombrelay
