#pragma once

#include <QByteArray>
#include <optional>

namespace ombrelay {

// The scrape of one torrent at one tracker: where to ask and what the answer counts.
class ScrapeExchange
{
public:
    struct Counts
    {
        int seeds = 0;
        int leeches = 0;
        bool operator==(const Counts&) const = default;
    };

    // The scrape address of an announce address, with the info hash appended: only when the last path
    // component starts with "announce", which becomes "scrape" (so "/announce.php" gives "/scrape.php");
    // any query is kept. None for any other address: that tracker cannot be scraped.
    static std::optional<QByteArray> addressFor(const QByteArray& announceAddress, const QByteArray& infoHash);

    // The counts of the "files" entry keyed by our info hash; none when the body is not a bencoded
    // dictionary of at most 2 MiB, or has no such entry.
    static std::optional<Counts> countsIn(const QByteArray& body, const QByteArray& infoHash);
};

}  // namespace ombrelay
