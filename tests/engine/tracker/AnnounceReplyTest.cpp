#include "engine/bencode/Bencoder.h"
#include "engine/tracker/AnnounceReply.h"

#include <gtest/gtest.h>

#include "support/Addresses.h"

using namespace ombrelay;

namespace {

AnnounceReply::Peer peer(const char* dotted, quint16 port)
{
    return {test::ipv4(dotted), port};
}

QByteArray compact(std::initializer_list<std::array<int, 6>> entries)
{
    QByteArray out;
    for (const auto& e : entries)
        for (int b : e)
            out += char(b);
    return out;
}

BValue dictPeer(const QByteArray& ip, qint64 port)
{
    return BValue::Dict{{"ip", ip}, {"port", port}, {"peer id", QByteArray(20, 'x')}};
}

TEST(AnnounceReply, CompactPeersSkipUnusableAddresses)
{
    BValue root = BValue::Dict{{"interval", 1800}, {"complete", 5}, {"incomplete", 10}};
    root.insert("peers", compact({{10, 0, 0, 1, 0x1A, 0xE1},     // 10.0.0.1:6881
                                  {0, 1, 2, 3, 0, 80},            // 0.0.0.0/8
                                  {224, 0, 0, 1, 0, 80},          // multicast
                                  {255, 255, 255, 255, 0, 80},    // broadcast
                                  {240, 1, 1, 1, 0, 80},          // reserved
                                  {127, 0, 0, 1, 0, 0},           // port 0
                                  {127, 0, 0, 1, 0xFF, 0xFF},     // 127.0.0.1:65535
                                  {223, 255, 255, 255, 0, 1}})    // last usable block
                         + QByteArray("\x01\x02\x03", 3));        // a partial entry is ignored
    const auto reply = AnnounceReply::parse(Bencoder::bencodingForObject(root));
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->failed());
    EXPECT_EQ(reply->seeds, 5);
    EXPECT_EQ(reply->leeches, 10);
    EXPECT_EQ(reply->interval, 1800);
    const QList<AnnounceReply::Peer> expected = {peer("10.0.0.1", 6881), peer("127.0.0.1", 65535),
                                                 peer("223.255.255.255", 1)};
    EXPECT_EQ(reply->peers, expected);
}

TEST(AnnounceReply, DictionaryPeers)
{
    const BValue list = BValue::List{
        dictPeer("192.168.1.20", 51413),
        dictPeer("tracker.example.org", 6881),  // never resolved
        dictPeer("::1", 6881),
        dictPeer("10.1.1.1", 0),
        dictPeer("10.1.1.2", 70000),
        dictPeer(QByteArray("10.1.1.3\0x", 10), 1),
        dictPeer("0.0.0.7", 1),
        "not a dictionary",
        dictPeer("8.8.4.4", 1),
    };
    const BValue root = BValue::Dict{{"peers", list}, {"tracker id", "T-42"}, {"warning message", "slow down"}};
    const auto reply = AnnounceReply::parse(Bencoder::bencodingForObject(root));
    ASSERT_TRUE(reply);
    const QList<AnnounceReply::Peer> expected = {peer("192.168.1.20", 51413), peer("8.8.4.4", 1)};
    EXPECT_EQ(reply->peers, expected);
    EXPECT_EQ(reply->trackerId, "T-42");
    EXPECT_EQ(reply->warning, "slow down");
    EXPECT_FALSE(reply->seeds.has_value());
}

TEST(AnnounceReply, IntervalsGiveTheNextAnnounce)
{
    struct Case { const char* name; std::optional<qint64> minInterval; int delay; } cases[] = {
        {"none", std::nullopt, 600},
        {"five", 5, 25},
        {"three hundred", 300, 320},
        {"zero", 0, 600},
        {"negative", -40, 600},
        {"absurd", qint64(1) << 50, 24 * 3600 + 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BValue root = BValue::Dict{{"interval", 900}};
        if (c.minInterval)
            root.insert("min interval", *c.minInterval);
        const auto reply = AnnounceReply::parse(Bencoder::bencodingForObject(root));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->reannounceDelaySeconds(), c.delay);
    }
}

TEST(AnnounceReply, FailuresAndUnreadableBodies)
{
    const auto failed = AnnounceReply::parse(Bencoder::bencodingForObject(BValue::Dict{{"failure reason", "unregistered torrent"}}));
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->failed());
    EXPECT_EQ(failed->failureReason, "unregistered torrent");

    EXPECT_TRUE(AnnounceReply::parse(Bencoder::bencodingForObject(BValue::Dict{{"failure reason", ""}}))->failed());

    const QByteArray tooLarge = Bencoder::bencodingForObject(BValue::Dict{{"peers", QByteArray(2 << 20, 'a')}});
    ASSERT_GT(tooLarge.size(), 2 << 20);
    for (const QByteArray& body : {QByteArray(), QByteArray("<html>"), QByteArray("li1ee"),
                                   QByteArray("d8:completei5e"), tooLarge}) {
        SCOPED_TRACE(body.left(20).constData());
        EXPECT_FALSE(AnnounceReply::parse(body));
    }
}

}  // namespace
