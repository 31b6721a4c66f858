// Reads arbitrary bytes as an announce reply and as a scrape reply, and checks what the parsers promise.
#include "engine/tracker/AnnounceReply.h"
#include "engine/tracker/ScrapeExchange.h"

#include <arpa/inet.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace ombrelay;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "*** tracker reply fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto reply = AnnounceReply::parse(body)) {
        for (const auto& peer : reply->peers)
            check(AnnounceReply::isUsablePeer(ntohl(peer.address), peer.port), "unusable peer kept");
        check(reply->peers.size() <= body.size() / 6, "more peers than the bytes hold");
        check(!reply->seeds || *reply->seeds >= 0, "negative seeds");
        const int delay = reply->reannounceDelaySeconds();
        check(delay >= 20 && delay <= AnnounceReply::kMaxIntervalSeconds + 20, "re-announce delay out of range");
    }
    const QByteArray hash = body.left(20).leftJustified(20, '\0');
    if (const auto counts = ScrapeExchange::countsIn(body, hash))
        check(counts->seeds >= 0 && counts->leeches >= 0, "negative scrape counts");
    return 0;
}
