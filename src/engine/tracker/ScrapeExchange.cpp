#include "engine/tracker/ScrapeExchange.h"

#include "engine/bencode/Bdecoder.h"
#include "engine/tracker/AnnounceRequest.h"

#include <algorithm>
#include <limits>

namespace ombrelay {

std::optional<QByteArray> ScrapeExchange::addressFor(const QByteArray& announceAddress, const QByteArray& infoHash)
{
    const qsizetype queryStart = announceAddress.indexOf('?');
    const QByteArray path = queryStart < 0 ? announceAddress : announceAddress.left(queryStart);
    const QByteArray query = queryStart < 0 ? QByteArray() : announceAddress.mid(queryStart);
    const qsizetype schemeEnd = path.indexOf("://");
    const qsizetype lastSlash = path.lastIndexOf('/');
    if (schemeEnd < 0 || lastSlash < schemeEnd + 3)
        return std::nullopt;  // no path at all
    if (!path.mid(lastSlash + 1).startsWith("announce"))
        return std::nullopt;
    QByteArray address = path.left(lastSlash + 1) + "scrape" + path.mid(lastSlash + 1 + 8) + query;
    address += query.isEmpty() ? '?' : '&';
    address += "info_hash=" + AnnounceRequest::escape(infoHash);
    return address;
}

std::optional<ScrapeExchange::Counts> ScrapeExchange::countsIn(const QByteArray& body, const QByteArray& infoHash)
{
    const Bdecoder decoder(body, Bdecoder::kTrackerReplyLimit);
    const BValue* entry = decoder.object()["files"].find(infoHash);
    if (!entry || !entry->isDict())
        return std::nullopt;
    auto count = [entry](const char* key) {
        return int(std::clamp<qint64>((*entry)[key].asInt(0), 0, std::numeric_limits<int>::max()));
    };
    return Counts{count("complete"), count("incomplete")};
}

}  // namespace ombrelay
