#include "engine/wire/PeerWireTestSupport.h"

#include "engine/bencode/Bdecoder.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

QByteArray u32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

// The request messages among those sent.
QList<QByteArray> requestsAmong(const QList<QByteArray>& sent)
{
    QList<QByteArray> requests;
    for (const QByteArray& m : sent)
        if (m.size() == 17 && m[4] == 6)
            requests.append(m);
    return requests;
}

// An outgoing connection from the engine to a scripted peer on loopback, past both handshakes.
class PeerWireTest : public PeerWireFixture
{
protected:
    void SetUp() override { makeTorrent(1'000'000, 262144); }

    // Dials the scripted peer in plain; returns the handshake the engine sent.
    QByteArray dial()
    {
        PeerWireFixture::dial(PeerWire::HandshakeMode::Plain);
        EXPECT_TRUE(acceptNext());
        return remote ? remote->take(PeerHandshake::kSize) : QByteArray();
    }
    // Dials and completes the handshake with the given reserved byte 27; returns what the engine sent
    // right after it.
    QByteArray connect(char reserved7 = 0x05)
    {
        dial();
        remote->write(remoteHandshake(reserved7));
        EXPECT_TRUE(pumpUntil([&] { return wire->isStreamingMessages(); }));
        remote->fill(1, 300);
        pumpUntil([] { return false; }, 50);
        remote->readSome();
        const QByteArray after = remote->buffered;
        remote->buffered.clear();
        return after;
    }
};

}  // namespace

TEST_F(PeerWireTest, HandshakeIsExactWithOurReservedBitsAndPeerId)
{
    const QByteArray handshake = dial();
    ASSERT_EQ(handshake.size(), 68);
    EXPECT_EQ(handshake.left(20), QByteArray("\x13" "BitTorrent protocol"));
    EXPECT_EQ(handshake.mid(20, 8), hex("0000000000100005"));
    EXPECT_EQ(handshake.mid(28, 20), kWireInfoHash);
    const QByteArray id = handshake.mid(48);
    EXPECT_TRUE(id.startsWith("-OC2168-"));
    for (char c : id.mid(8))
        EXPECT_TRUE(c >= '0' && c <= '9') << id.constData();
}

TEST_F(PeerWireTest, AfterTheHandshakeComeExtensionHandshakePortAndPieceList)
{
    struct Case
    {
        char reserved7;
        QList<quint32> verified;
        bool port;
        QByteArray pieceList;
    };
    const Case cases[] = {
        {0x05, {}, true, hex("000000010F")},              // Fast: have none
        {0x04, {0, 1, 2, 3}, false, hex("000000010E")},   // Fast: have all, no port message without DHT
        {0x01, {0, 2}, true, hex("0000000205A0")},        // plain bitfield with spare bits clear
        {0x00, {}, false, QByteArray()},                  // nothing to announce without Fast
    };
    for (const Case& c : cases) {
        SetUp();
        for (quint32 p : c.verified)
            torrent->verify(p);
        const QByteArray sent = connect(c.reserved7);
        const QByteArray ext = "d1:ei0e1:md6:ut_pexi1ee1:pi6881e4:reqqi1000e1:v";
        qsizetype at = 0;
        const quint32 extLength = qFromBigEndian<quint32>(sent.constData());
        EXPECT_EQ(sent.mid(4, 2), hex("1400"));
        EXPECT_EQ(sent.mid(6, ext.size()), ext);
        EXPECT_TRUE(sent.mid(6, qsizetype(extLength) - 2).contains("Ombrelay "));
        EXPECT_TRUE(sent.mid(6, qsizetype(extLength) - 2).endsWith(")e"));
        at = 4 + qsizetype(extLength);
        if (c.port) {
            EXPECT_EQ(sent.mid(at, 7), hex("00000003091AE1"));
            at += 7;
        }
        EXPECT_EQ(sent.mid(at), c.pieceList) << int(c.reserved7);
        TearDown();
    }
}

TEST_F(PeerWireTest, PipelineRequestsTheShortLastBlockAndNeverExceedsReqq)
{
    connect();
    const QByteArray reqq5 = PeerMessage::extended(0, "d1:md6:ut_pexi3ee4:reqqi5ee");
    torrent->needed = QBitArray(4);
    torrent->needed.setBit(3);  // only the short last piece: 1,000,000 - 3 * 262144 = 213568 bytes
    remote->write(reqq5 + hex("000000010E") + hex("0000000101"));
    QList<QByteArray> requests = requestsAmong(remote->messagesUntil([](const QList<QByteArray>& sent) {
        return requestsAmong(sent).size() >= PeerWire::kMinRequestQueue;
    }));
    requests += requestsAmong(remote->messagesWithin(50));  // none beyond the starting queue
    ASSERT_EQ(requests.size(), PeerWire::kMinRequestQueue);
    EXPECT_EQ(wire->pendingRequestCount(), PeerWire::kMinRequestQueue);
    // Deliver the first blocks one by one: the queue grows and refills but never holds more than 5.
    QByteArray lastRequest;
    for (int round = 0; round < 20 && !requests.isEmpty(); ++round) {
        const QByteArray r = requests.takeFirst();
        const quint32 index = qFromBigEndian<quint32>(r.constData() + 5);
        const quint32 begin = qFromBigEndian<quint32>(r.constData() + 9);
        const quint32 length = qFromBigEndian<quint32>(r.constData() + 13);
        remote->write(PeerMessage::piece(index, begin, torrent->content.mid(qsizetype(index) * 262144 + begin, length)));
        for (const QByteArray& m : remote->messagesWithin(60)) {
            if (m.size() == 17 && m[4] == 6) {
                requests.append(m);
                lastRequest = m;
            }
        }
        EXPECT_LE(wire->pendingRequestCount(), 5);
    }
    EXPECT_EQ(lastRequest, hex("0000000D06") + u32(3) + u32(13 * 16384) + u32(213568 - 13 * 16384));
    EXPECT_EQ(torrent->arrived.size(), 14);
    EXPECT_EQ(torrent->disk().mid(3 * 262144), torrent->content.mid(3 * 262144));
}

// Answers every request among `sent` with its block; answers how many there were.
int answerRequests(ScriptedPeer& remote, FakeTorrent& torrent, const QList<QByteArray>& sent)
{
    QByteArray answers;
    int count = 0;
    for (const QByteArray& m : sent) {
        if (m.size() != 17 || m[4] != 6)
            continue;
        ++count;
        const quint32 index = qFromBigEndian<quint32>(m.constData() + 5);
        const quint32 begin = qFromBigEndian<quint32>(m.constData() + 9);
        const quint32 length = qFromBigEndian<quint32>(m.constData() + 13);
        answers += PeerMessage::piece(index, begin, torrent.content.mid(qsizetype(index) * torrent.pieceLength() + begin, length));
    }
    if (!answers.isEmpty())
        remote.write(answers);
    return count;
}

// A peer that answers at once makes the queue grow from its start to 250 blocks, and never beyond.
TEST_F(PeerWireTest, WithoutReqqThePipelineGrowsTo250)
{
    torrent = std::make_unique<FakeTorrent>(64 * 262144, 262144, folder.filePath("big"));
    connect();
    remote->write(hex("000000010E") + hex("0000000101"));
    EXPECT_EQ(answerRequests(*remote, *torrent, remote->messagesUntil([](const QList<QByteArray>& sent) {
                  return requestsAmong(sent).size() >= PeerWire::kMinRequestQueue;
              })),
              PeerWire::kMinRequestQueue);
    int most = 0;
    for (int round = 0; round < 300 && most < PeerWire::kOurRequestQueue; ++round) {
        answerRequests(*remote, *torrent, remote->messagesWithin(20));
        most = std::max(most, wire->pendingRequestCount());
    }
    EXPECT_EQ(most, PeerWire::kOurRequestQueue);
    answerRequests(*remote, *torrent, remote->messagesWithin(100));
    EXPECT_LE(wire->pendingRequestCount(), PeerWire::kOurRequestQueue);
}

// The queue refills once a sixteenth of it is free (15 of 250 blocks), in one batch, not block by block.
TEST_F(PeerWireTest, ThePipelineRefillsInBatches)
{
    torrent = std::make_unique<FakeTorrent>(64 * 262144, 262144, folder.filePath("big"));
    connect();
    remote->write(hex("000000010E") + hex("0000000101"));
    // Every request read is answered until the queue holds 250 and all of them are read.
    QList<QByteArray> requests;
    for (int round = 0; round < 300; ++round) {
        for (const QByteArray& m : remote->messagesWithin(20))
            if (m.size() == 17 && m[4] == 6)
                requests.append(m);
        if (wire->pendingRequestCount() == 250 && requests.size() == 250)
            break;
        QByteArray answers;
        for (const QByteArray& r : requests) {
            const quint32 index = qFromBigEndian<quint32>(r.constData() + 5);
            const quint32 begin = qFromBigEndian<quint32>(r.constData() + 9);
            answers += PeerMessage::piece(index, begin, torrent->content.mid(qsizetype(index) * 262144 + begin, 16384));
        }
        requests.clear();
        remote->write(answers);
    }
    ASSERT_EQ(wire->pendingRequestCount(), 250);
    ASSERT_EQ(requests.size(), 250);
    for (int delivered = 1; delivered <= 15; ++delivered) {
        const QByteArray r = requests.takeFirst();
        const quint32 index = qFromBigEndian<quint32>(r.constData() + 5);
        const quint32 begin = qFromBigEndian<quint32>(r.constData() + 9);
        remote->write(PeerMessage::piece(index, begin, torrent->content.mid(qsizetype(index) * 262144 + begin, 16384)));
        int refilled = 0;
        for (const QByteArray& m : remote->messagesWithin(60))
            refilled += m.size() == 17 && m[4] == 6;
        EXPECT_EQ(refilled, delivered < 15 ? 0 : 15) << delivered << " delivered";
    }
    EXPECT_EQ(wire->pendingRequestCount(), 250);
}

TEST_F(PeerWireTest, HostilePeersAreEndedAndVerifiedBytesStay)
{
    struct Case
    {
        const char* name;
        QByteArray script;
        bool needsPendingBlock;
    };
    const Case cases[] = {
        {"huge length", hex("FFFFFFF007"), false},
        {"have beyond the pieces", hex("0000000504FFFFFFFF"), false},
        {"bitfield of the wrong size", hex("0000000405FFFFFF"), false},
        {"bitfield with a spare bit", hex("0000000205F1"), false},
        {"request of 0x7FFFFFFF bytes", hex("0000000D06") + u32(0) + u32(0) + u32(0x7FFFFFFF), false},
        {"request past the piece", hex("0000000D06") + u32(0) + u32(262144 - 100) + u32(16384), false},
        {"have all without Fast", hex("000000010E"), false},
        {"oversized piece message", hex("0002000A07") + u32(1) + u32(0) + QByteArray(131073, 'x'), false},
        {"misaligned piece over a pending block", QByteArray(), true},
        {"oversized block over a pending block", QByteArray(), true},
    };
    for (const Case& c : cases) {
        SetUp();
        torrent->verify(0);
        torrent->verify(2);
        const QByteArray before = torrent->verifiedBytes();
        const bool fast = QByteArray(c.name) != "have all without Fast";
        connect(fast ? 0x05 : 0x00);
        QByteArray script = c.script;
        if (c.needsPendingBlock) {
            remote->write(hex("000000010E") + hex("0000000101"));
            ASSERT_TRUE(pumpUntil([&] { return wire->pendingRequestCount() > 0; })) << c.name;
            const bool misaligned = QByteArray(c.name).startsWith("misaligned");
            // Pieces 1 and 3 are needed; the peer has all: every block of both is pending.
            for (int i = 0; i < PeerWire::kMaxPieceViolations; ++i)
                script += PeerMessage::piece(1, misaligned ? 1 : 0, QByteArray(misaligned ? 16384 : 16385, 'x'));
            script += PeerMessage::piece(0, 0, QByteArray(16384, 'x'));  // a verified piece, never requested
        }
        remote->write(script);
        EXPECT_TRUE(ended()) << c.name;
        EXPECT_TRUE(wire->hasEnded()) << c.name;
        EXPECT_EQ(wire->ending(), PeerLink::Ending::BrokeProtocol) << c.name;
        EXPECT_TRUE(torrent->arrived.isEmpty()) << c.name;
        EXPECT_EQ(torrent->verifiedBytes(), before) << c.name;
        TearDown();
    }
}

TEST_F(PeerWireTest, HandshakeChecksEndTheConnection)
{
    struct Case
    {
        const char* name;
        QByteArray handshake;
        PeerLink::Ending ending;
    };
    QByteArray wrongProtocol = remoteHandshake();
    wrongProtocol[1] = 'b';
    const Case cases[] = {
        {"another torrent", remoteHandshake(0x05, QByteArray(20, 'Z')), PeerLink::Ending::BrokeProtocol},
        {"our own peer id", remoteHandshake(0x05, kWireInfoHash, PeerWire::localPeerId()),
         PeerLink::Ending::Ourselves},
        {"a peer id already connected", remoteHandshake(0x05, kWireInfoHash, QByteArray(20, 'D')),
         PeerLink::Ending::Closed},
        {"another protocol", wrongProtocol, PeerLink::Ending::BrokeProtocol},
    };
    for (const Case& c : cases) {
        SetUp();
        torrent->connectedIds = {QByteArray(20, 'D')};
        dial();
        remote->write(c.handshake);
        EXPECT_TRUE(ended()) << c.name;
        EXPECT_FALSE(wire->isStreamingMessages()) << c.name;
        EXPECT_FALSE(wire->reachedMessages()) << c.name;
        EXPECT_EQ(wire->ending(), c.ending) << c.name;
        TearDown();
    }
}

// Accepted from ourselves: our handshake answers before the close, so that the dialling side, which may
// have dialled an address of ours that this side cannot see (a router's), learns it too.
TEST_F(PeerWireTest, AConnectionAcceptedFromOurselvesIsAnsweredWithOurIdThenClosed)
{
    adopt();
    remote->write(remoteHandshake(0x05, kWireInfoHash, PeerWire::localPeerId()));
    EXPECT_EQ(remote->take(PeerHandshake::kSize).mid(48), PeerWire::localPeerId());
    EXPECT_TRUE(ended());
    EXPECT_EQ(wire->ending(), PeerLink::Ending::Ourselves);
}

TEST_F(PeerWireTest, ServesVerifiedBlocksAndAnswersEveryRequestOnce)
{
    torrent->verify(1);
    connect();
    remote->write(hex("0000000102"));  // interested: unchoked
    EXPECT_EQ(remote->message(), hex("0000000101"));
    torrent->holdReads = true;
    remote->write(PeerMessage::blockMessage(PeerMessage::Request, 1, 16384, 16384)   // served
                  + PeerMessage::blockMessage(PeerMessage::Request, 2, 0, 16384)     // not verified: rejected
                  + PeerMessage::blockMessage(PeerMessage::Request, 1, 0, 16384)     // cancelled before it is read
                  + PeerMessage::blockMessage(PeerMessage::Cancel, 1, 0, 16384));
    EXPECT_EQ(remote->message(), PeerMessage::blockMessage(PeerMessage::Reject, 2, 0, 16384));
    EXPECT_EQ(remote->message(), PeerMessage::blockMessage(PeerMessage::Reject, 1, 0, 16384));
    ASSERT_EQ(torrent->heldReads.size(), 2u);
    for (auto& read : torrent->heldReads)
        read();
    EXPECT_EQ(remote->message(), PeerMessage::piece(1, 16384, torrent->content.mid(262144 + 16384, 16384)));
    EXPECT_TRUE(remote->messagesWithin(100).isEmpty());
    EXPECT_EQ(wire->bytesUploaded(), 16384u);
}

TEST_F(PeerWireTest, ChokingRejectsQueuedRequests)
{
    torrent->verify(0);
    connect();
    remote->write(hex("0000000102"));
    EXPECT_EQ(remote->message(), hex("0000000101"));
    torrent->holdReads = true;
    remote->write(PeerMessage::blockMessage(PeerMessage::Request, 0, 0, 16384));
    ASSERT_TRUE(pumpUntil([&] { return torrent->heldReads.size() == 1; }));
    torrent->needed.fill(false);
    torrent->verified.fill(false);  // no longer seeding: the upload surplus rule applies
    wire->didUploadBytes(PeerWire::kChokeAfterUploadSurplus);
    wire->updateChoke();
    EXPECT_EQ(remote->message(), hex("0000000100"));
    EXPECT_EQ(remote->message(), PeerMessage::blockMessage(PeerMessage::Reject, 0, 0, 16384));
    torrent->heldReads.front()();
    EXPECT_TRUE(remote->messagesWithin(100).isEmpty());
}

TEST_F(PeerWireTest, KeepAlivesAndSilence)
{
    connect();
    wire->tick(1000);  // the handshake went out during this second
    wire->tick(1000 + PeerWire::kKeepAliveAfterMs - 1);
    EXPECT_TRUE(remote->messagesWithin(50).isEmpty());
    wire->tick(1000 + PeerWire::kKeepAliveAfterMs);
    EXPECT_EQ(remote->message(), hex("00000000"));
    remote->write(hex("00000000"));
    pumpUntil([] { return false; }, 50);
    wire->tick(200'000);  // heard from the peer since: not silent
    EXPECT_FALSE(wire->hasEnded());
    wire->tick(200'000 + PeerWire::kSilenceLimitMs);
    EXPECT_TRUE(ended());
    EXPECT_EQ(wire->ending(), PeerLink::Ending::Lost);
    EXPECT_TRUE(wire->reachedMessages());
}

TEST_F(PeerWireTest, UnansweredHandshakeEndsAfterTenSeconds)
{
    dial();
    wire->tick(PeerWire::kHandshakeTimeoutMs - 1);
    EXPECT_FALSE(wire->hasEnded());
    EXPECT_EQ(wire->ending(), PeerLink::Ending::Open);
    wire->tick(PeerWire::kHandshakeTimeoutMs);
    EXPECT_TRUE(ended());
    EXPECT_EQ(wire->ending(), PeerLink::Ending::Lost);
}

TEST_F(PeerWireTest, APeerThatClosesIsLostBeforeOrAfterTheHandshake)
{
    for (const bool handshake : {false, true}) {
        SCOPED_TRACE(handshake);
        SetUp();
        if (handshake)
            connect();
        else
            dial();
        remote.reset();
        EXPECT_TRUE(pumpUntil([&] { return endings > 0; }));
        EXPECT_EQ(wire->ending(), PeerLink::Ending::Lost);
        EXPECT_EQ(wire->reachedMessages(), handshake);
        TearDown();
    }
}

TEST_F(PeerWireTest, IncomingConnectionsAttachByInfoHashOrEnd)
{
    for (const bool known : {true, false}) {
        adopt(known);
        remote->write(remoteHandshake());
        if (known) {
            EXPECT_EQ(remote->take(68).mid(28, 20), kWireInfoHash);
            EXPECT_TRUE(pumpUntil([&] { return wire->isStreamingMessages(); }));
            EXPECT_EQ(wire->torrent(), torrent.get());
        } else {
            EXPECT_TRUE(ended());
        }
        wire->tick(PeerWire::kHandshakeTimeoutMs);
        EXPECT_EQ(wire->hasEnded(), !known);
        TearDown();
    }
}

TEST_F(PeerWireTest, PeerExchangeHandsOnAddedEntriesOfOurId)
{
    connect();
    QByteArray added;
    for (int i = 0; i < 3; ++i)
        added += hex("7F000001") + u32(7000 + i).right(2);
    const QByteArray pex = PeerMessage::extended(PeerMessage::kPexId, "d5:added18:" + added + "e");
    remote->write(PeerMessage::extended(2, "d5:added6:AAAAAAe")     // not our id: ignored
                  + PeerMessage::extended(PeerMessage::kPexId, "l5:addede")  // not a dictionary: ignored
                  + pex);
    ASSERT_TRUE(pumpUntil([&] { return !torrent->exchanged.isEmpty(); }));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(torrent->exchanged, QList<QByteArray>{added});
    EXPECT_FALSE(wire->hasEnded());
}

TEST_F(PeerWireTest, AsAPeerLinkItNamesItsPeerAndDisconnectsQuietly)
{
    connect();
    PeerLink& link = *wire;
    EXPECT_EQ(link.peerAddress().toString(), QStringLiteral("127.0.0.1:%1").arg(wire->port()));
    link.disconnectFromPeer();
    EXPECT_TRUE(ended());
    EXPECT_EQ(endings, 1);
    EXPECT_EQ(link.ending(), PeerLink::Ending::Closed);
}

// Some clients announce a batch of new pieces as a whole piece list, after other messages.
TEST_F(PeerWireTest, PieceListsLaterInTheConnectionUpdateWhatThePeerHas)
{
    connect();
    remote->write(PeerMessage::withIndex(PeerMessage::Have, 2));
    ASSERT_TRUE(pumpUntil([&] { return wire->availablePieces().testBit(2); }));
    remote->write(PeerMessage::bitfield(hex("D0")));  // pieces 0, 1 and 3
    ASSERT_TRUE(pumpUntil([&] { return wire->availablePieces().testBit(3); }));
    EXPECT_EQ(wire->availablePieces().count(true), 3);
    remote->write(PeerMessage::simple(PeerMessage::HaveAll));
    EXPECT_TRUE(pumpUntil([&] { return wire->isSeed(); }));
    EXPECT_FALSE(wire->hasEnded());
}

TEST_F(PeerWireTest, APortMessagePingsThePeersDhtNode)
{
    connect();
    remote->write(hex("00000003091AE2") + hex("0000000309") + QByteArray(2, '\0'));  // 6882, then port 0
    ASSERT_TRUE(pumpUntil([&] { return !torrent->pinged.isEmpty(); }));
    pumpUntil([] { return false; }, 50);
    const QList<std::pair<quint32, quint16>> expected{{0x7F000001u, quint16(6882)}};
    EXPECT_EQ(torrent->pinged, expected);
    EXPECT_FALSE(wire->hasEnded());
}

TEST_F(PeerWireTest, TheExtensionHandshakeRecordsExchangeAndMetadataIds)
{
    const struct
    {
        const char* dictionary;
        int pexId, metadataId;
        qint64 metadataSize;
    } cases[] = {
        {"d1:md6:ut_pexi3e11:ut_metadatai2ee13:metadata_sizei31337ee", 3, 2, 31337},
        {"d1:md11:ut_metadatai4eee", 0, 4, 0},
        {"d1:md6:ut_pexi999ee13:metadata_sizei-5ee", 0, 0, 0},
        {"d4:reqqi5ee", 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dictionary);
        SetUp();
        connect();
        remote->write(PeerMessage::extended(0, c.dictionary) + PeerMessage::simple(PeerMessage::Interested));
        ASSERT_TRUE(pumpUntil([&] { return wire->peerIsInterested(); }));
        EXPECT_EQ(wire->pexMessageId(), c.pexId);
        EXPECT_EQ(wire->supportsPEX(), c.pexId != 0);
        EXPECT_EQ(wire->remoteTorrentId(), c.metadataId);
        EXPECT_EQ(wire->supportsRemoteTorrent(), c.metadataId != 0);
        EXPECT_EQ(wire->remoteTorrentSize(), c.metadataSize);
        TearDown();
    }
}

TEST_F(PeerWireTest, AllowedFastPiecesAreRequestedWhileChokedSuggestedOnesOnlyWhenUnchoked)
{
    const struct
    {
        const char* name;
        QByteArray messages;
        int messageCount;
        qsizetype requestsOfPiece2;
    } cases[] = {
        {"allowed fast while choked", PeerMessage::withIndex(PeerMessage::AllowedFast, 2), 1, 16},
        {"suggested while choked", PeerMessage::withIndex(PeerMessage::Suggest, 2), 1, 0},
        {"suggested while unchoked", PeerMessage::simple(PeerMessage::Unchoke) + PeerMessage::withIndex(PeerMessage::Suggest, 2), 2, 16},
    };
    const auto requestsOfPiece2 = [](const QList<QByteArray>& sent) {
        return std::count_if(sent.begin(), sent.end(), [](const QByteArray& m) {
            return m.size() == 17 && quint8(m[4]) == PeerMessage::Request && m.mid(5, 4) == u32(2);
        });
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        connect();
        const qint32 readBefore = wire->stats().read.total;
        remote->write(c.messages);
        QList<QByteArray> sent = remote->messagesUntil([&](const QList<QByteArray>& sent) {
            return wire->stats().read.total >= readBefore + c.messageCount && requestsOfPiece2(sent) >= c.requestsOfPiece2;
        });
        sent += remote->messagesWithin(50);  // none beyond
        EXPECT_EQ(requestsOfPiece2(sent), c.requestsOfPiece2);
        TearDown();
    }
}

TEST_F(PeerWireTest, CountsMessagesWrittenAndReadByKind)
{
    connect();  // written: extension handshake, port, have none
    remote->write(PeerMessage::withIndex(PeerMessage::Have, 1) + PeerMessage::keepAliveMessage()
                  + PeerMessage::simple(PeerMessage::Interested) + PeerMessage::simple(PeerMessage::Unchoke));
    ASSERT_TRUE(pumpUntil([&] { return wire->stats().read.total == 4; }));
    pumpUntil([] { return false; }, 50);
    const PeerStats& stats = wire->stats();
    EXPECT_EQ(stats.read.haves, 1);
    EXPECT_EQ(stats.read.interesteds, 1);
    EXPECT_EQ(stats.read.unchokes, 1);
    EXPECT_EQ(stats.written.haveNones, 1);
    EXPECT_EQ(stats.written.interesteds, 1);
    EXPECT_EQ(stats.written.unchokes, 1);
    // The first blocks of piece 1, as many as a new queue holds.
    EXPECT_EQ(stats.written.requests, PeerWire::kMinRequestQueue);
    EXPECT_EQ(stats.written.total, 3 + 1 + 1 + PeerWire::kMinRequestQueue);
}
