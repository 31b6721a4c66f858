#include "engine/tracker/AnnounceRequest.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace ombrelay;

namespace {

AnnounceRequest sampleRequest()
{
    AnnounceRequest r;
    r.infoHash = QByteArray::fromHex("00ff2d41617a5a30397e2e5f20253f26ab12cd34");
    r.peerId = "-OM2168-a.b~c_d%e&fz";
    r.port = 51413;
    r.uploaded = 1024;
    r.downloaded = 5000000000ull;
    r.left = 7;
    r.key = "k3y0abcdz9";
    return r;
}

const QByteArray kQuery =
    "info_hash=%00%FF%2DAazZ09%7E%2E%5F%20%25%3F%26%AB%12%CD4"
    "&peer_id=%2DOM2168%2Da%2Eb%7Ec%5Fd%25e%26fz"
    "&port=51413&numwant=200&compact=1&supportcrypto=1&requirecrypto=0"
    "&uploaded=1024&downloaded=5000000000&left=7&key=k3y0abcdz9";

TEST(AnnounceRequest, QueryIsByteExact)
{
    struct Case { const char* name; QByteArray announce; TrackerEvent event; QByteArray trackerId; QByteArray expected; };
    const Case cases[] = {
        {"plain", "http://t.example/announce", TrackerEvent::None, {},
         "http://t.example/announce?" + kQuery},
        {"query kept", "http://t.example/announce.php?passkey=abc", TrackerEvent::Started, {},
         "http://t.example/announce.php?passkey=abc&" + kQuery + "&event=started"},
        {"stopped", "http://t.example/a", TrackerEvent::Stopped, {}, "http://t.example/a?" + kQuery + "&event=stopped"},
        {"completed with id", "http://t.example/a", TrackerEvent::Completed, "id 7&x=1",
         "http://t.example/a?" + kQuery + "&event=completed&trackerid=id%207%26x%3D1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnnounceRequest r = sampleRequest();
        r.event = c.event;
        r.trackerId = c.trackerId;
        EXPECT_EQ(r.addressFor(c.announce), c.expected);
    }
}

TEST(AnnounceRequest, EscapesEveryByteButLettersAndDigits)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QByteArray escaped = AnnounceRequest::escape(all);
    qsizetype at = 0;
    for (int b = 0; b < 256; ++b) {
        const bool kept = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
        if (kept) {
            ASSERT_EQ(escaped.at(at), char(b));
            at += 1;
        } else {
            ASSERT_EQ(escaped.mid(at, 3), "%" + QByteArray::number(b, 16).rightJustified(2, '0').toUpper()) << b;
            at += 3;
        }
    }
    EXPECT_EQ(at, escaped.size());
}

TEST(AnnounceRequest, KeyIsTenLowerCaseLettersOrDigits)
{
    QSet<QByteArray> keys;
    for (int i = 0; i < 20; ++i) {
        const QByteArray key = AnnounceRequest::makeKey();
        ASSERT_EQ(key.size(), 10);
        for (char c : key)
            EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << key.constData();
        keys.insert(key);
    }
    EXPECT_GT(keys.size(), 15);
}

}  // namespace
