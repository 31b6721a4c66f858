#include "engine/bencode/Bencoder.h"
#include "engine/tracker/ScrapeExchange.h"

#include <gtest/gtest.h>

using namespace ombrelay;

namespace {

const QByteArray kHash = QByteArray::fromHex("aa00bb11cc22dd33ee44ff556677889900aabbcc");
const QByteArray kEscaped = "%AA%00%BB%11%CC%22%DD3%EED%FFUfw%88%99%00%AA%BB%CC";

TEST(ScrapeExchange, AddressOnlyWhenTheLastComponentStartsWithAnnounce)
{
    struct Case { QByteArray announce; std::optional<QByteArray> scrape; } cases[] = {
        {"http://t.example/announce", "http://t.example/scrape?info_hash=" + kEscaped},
        {"http://t.example/x/announce", "http://t.example/x/scrape?info_hash=" + kEscaped},
        {"http://t.example/announce.php", "http://t.example/scrape.php?info_hash=" + kEscaped},
        {"http://t.example/announce?passkey=5", "http://t.example/scrape?passkey=5&info_hash=" + kEscaped},
        {"https://t.example:8443/p/announce/", std::nullopt},  // last component is empty
        {"http://t.example/a", std::nullopt},
        {"http://t.example/announce/x", std::nullopt},
        {"http://t.example/x%064announce", std::nullopt},
        {"http://t.example?announce", std::nullopt},
        {"http://t.example", std::nullopt},
        {"announce", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.announce.constData());
        EXPECT_EQ(ScrapeExchange::addressFor(c.announce, kHash), c.scrape);
    }
}

TEST(ScrapeExchange, CountsComeFromOurEntry)
{
    // A scrape body whose "files" holds `hash` with the counts given.
    const auto scrape = [](const QByteArray& hash, qint64 complete, qint64 incomplete, BValue::Dict files = {}) {
        files[hash] = BValue::Dict{{"complete", complete}, {"incomplete", incomplete}, {"downloaded", 99}};
        return Bencoder::bencodingForObject(BValue::Dict{{"files", std::move(files)}});
    };
    // Another torrent's entry sorts after ours.
    const QByteArray ours = scrape(kHash, 5, 10, {{QByteArray(20, '\xff'), BValue::Dict{{"complete", 700}, {"incomplete", 800}}}});
    EXPECT_EQ(ScrapeExchange::countsIn(ours, kHash), (ScrapeExchange::Counts{5, 10}));
    EXPECT_EQ(ScrapeExchange::countsIn(scrape(kHash, -3, qint64(1) << 40), kHash),
              (ScrapeExchange::Counts{0, std::numeric_limits<int>::max()}));

    for (const QByteArray& body : {scrape(QByteArray(20, 'z'), 1, 1),
                                   Bencoder::bencodingForObject(BValue::Dict{{"failure reason", "no scrapes"}}),
                                   QByteArray(), QByteArray("d5:filesle"), QByteArray("garbage")}) {
        SCOPED_TRACE(body.constData());
        EXPECT_FALSE(ScrapeExchange::countsIn(body, kHash));
    }
}

}  // namespace
