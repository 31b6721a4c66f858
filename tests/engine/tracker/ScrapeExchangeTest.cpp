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
    auto entry = [](qint64 complete, qint64 incomplete) {
        BValue e;
        e.insert("complete", complete);
        e.insert("incomplete", incomplete);
        e.insert("downloaded", 99);
        return e;
    };
    BValue files;
    files.insert(kHash, entry(5, 10));
    files.insert(QByteArray(20, '\xff'), entry(700, 800));  // sorts after ours
    BValue root;
    root.insert("files", files);
    EXPECT_EQ(ScrapeExchange::countsIn(Bencoder::bencodingForObject(root), kHash), (ScrapeExchange::Counts{5, 10}));

    BValue others;
    others.insert(QByteArray(20, 'z'), entry(1, 1));
    BValue onlyOthers;
    onlyOthers.insert("files", others);
    BValue negative;
    BValue negativeFiles;
    negativeFiles.insert(kHash, entry(-3, qint64(1) << 40));
    negative.insert("files", negativeFiles);
    EXPECT_EQ(ScrapeExchange::countsIn(Bencoder::bencodingForObject(negative), kHash),
              (ScrapeExchange::Counts{0, std::numeric_limits<int>::max()}));

    BValue failure;
    failure.insert("failure reason", "no scrapes");
    for (const QByteArray& body : {Bencoder::bencodingForObject(onlyOthers), Bencoder::bencodingForObject(failure), QByteArray(),
                                   QByteArray("d5:filesle"), QByteArray("garbage")}) {
        SCOPED_TRACE(body.constData());
        EXPECT_FALSE(ScrapeExchange::countsIn(body, kHash));
    }
}

}  // namespace
