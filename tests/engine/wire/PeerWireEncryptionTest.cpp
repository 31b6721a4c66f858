// The peer wire's encrypted starts: a dialled connection falls back to plain only when the peer's key
// never came; an accepted one answers scripted initiators (RC4 or plain, the handshake in the initial
// payload or in the stream after it) and ends on a bad verification constant or an unknown torrent.
#include "engine/wire/MseReference.h"
#include "engine/wire/PeerWireTestSupport.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

constexpr quint32 kPlain = 0x01;
constexpr quint32 kRC4 = 0x02;

class PeerWireEncryptionTest : public PeerWireFixture
{
protected:
    void SetUp() override { makeTorrent(100'000, 32768); }
};

// An initiator written from the primitives: Ya without padding, then req1, req2 ^ req3 and the encrypted
// offer; reads Yb, finds the responder's VC behind its padding and reads the selection.
struct ScriptedInitiator
{
    ScriptedInitiator(ScriptedPeer& peer, const QByteArray& infoHash) : remote(peer), infoHash(infoHash)
    {
        remote.write(initiatorKeys().publicKey());
    }

    // Sends the offer once Yb is in; false when it did not come.
    bool offer(quint32 provide, const QByteArray& padC, const QByteArray& initialPayload,
               const QByteArray& verification = QByteArray(8, '\0'))
    {
        if (!remote.fill(96))
            return false;
        secret = initiatorKeys().sharedSecret(remote.buffered.left(96));
        remote.buffered.remove(0, 96);
        encrypt = referenceKey("keyA", secret, infoHash);
        decrypt = referenceKey("keyB", secret, infoHash);
        const QByteArray offered = verification + uint32Bytes(provide) + uint16Bytes(quint16(padC.size())) + padC
            + uint16Bytes(quint16(initialPayload.size())) + initialPayload;
        remote.write(sha1Of("req1", secret) + xorOf(sha1Of("req2", infoHash), sha1Of("req3", secret))
                     + applied(*encrypt, offered));
        return true;
    }

    // The responder's crypto_select, read past PadB and PadD; 0 when it did not come.
    quint32 selection()
    {
        const QByteArray vc = applied(*decrypt, QByteArray(8, '\0'));
        qsizetype at = -1;
        pumpUntil([&] { remote.readSome(); return (at = remote.buffered.indexOf(vc)) >= 0; });
        if (at < 0 || !remote.fill(at + 8 + 6))
            return 0;
        remote.buffered.remove(0, at + 8);
        const QByteArray fields = applied(*decrypt, remote.take(6));
        const quint32 select = qFromBigEndian<quint32>(fields.constData());
        const quint16 lenPadD = qFromBigEndian<quint16>(fields.constData() + 4);
        applied(*decrypt, remote.take(lenPadD));
        rc4 = select == kRC4;
        return select;
    }

    // Payload both ways, through RC4 when it was selected.
    void send(const QByteArray& bytes) { remote.write(rc4 ? applied(*encrypt, bytes) : bytes); }
    QByteArray receive(qsizetype count)
    {
        if (!remote.fill(count))
            return {};
        const QByteArray bytes = remote.take(count);
        return rc4 ? applied(*decrypt, bytes) : bytes;
    }

    ScriptedPeer& remote;
    QByteArray infoHash;
    QByteArray secret;
    std::unique_ptr<RC4> encrypt, decrypt;
    bool rc4 = false;
};

}  // namespace

TEST_F(PeerWireEncryptionTest, DialledConnectionRetriesInPlainOnlyWhenThePeersKeyNeverCame)
{
    enum class Remote { ClosesAtOnce, AnswersInPlain, StaysSilent, SendsItsKeyThenCloses };
    struct Case
    {
        Remote behaviour;
        bool retry;
    };
    const Case cases[] = {
        {Remote::ClosesAtOnce, true},
        {Remote::AnswersInPlain, true},
        {Remote::StaysSilent, true},
        {Remote::SendsItsKeyThenCloses, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.behaviour));
        dial(PeerWire::HandshakeMode::Encrypted);
        ASSERT_TRUE(acceptNext());
        // Ya: our 96-byte key and at least one pad byte.
        ASSERT_TRUE(remote->fill(97));
        EXPECT_EQ(remote->buffered.left(96), DiffieHellman::diffieHellmanInstance().publicKey());
        switch (c.behaviour) {
        case Remote::ClosesAtOnce:
            remote.reset();
            break;
        case Remote::AnswersInPlain:
            remote->write(remoteHandshake());
            break;
        case Remote::StaysSilent:
            wire->tick(PeerWire::kHandshakeTimeoutMs);
            break;
        case Remote::SendsItsKeyThenCloses:
            remote->write(responderKeys().publicKey());
            pumpUntil([] { return false; }, 50);
            remote.reset();
            break;
        }
        if (c.retry) {
            ASSERT_TRUE(acceptNext());
            const QByteArray handshake = remote->take(68);
            EXPECT_EQ(handshake.left(20), QByteArray("\x13" "BitTorrent protocol"));
            EXPECT_EQ(handshake.mid(28, 20), kWireInfoHash);
            EXPECT_EQ(wire->handshakeMode(), PeerWire::HandshakeMode::Plain);
            EXPECT_EQ(endings, 0);
            remote->write(remoteHandshake());
            EXPECT_TRUE(pumpUntil([&] { return wire->isStreamingMessages(); }));
            EXPECT_FALSE(wire->isEncrypted());
        } else {
            EXPECT_TRUE(pumpUntil([&] { return endings > 0; }));
            EXPECT_FALSE(acceptNext(200));
            // Left to the connection manager, which redials in plain.
            EXPECT_EQ(wire->ending(), PeerLink::Ending::Lost);
            EXPECT_EQ(wire->handshakeMode(), PeerWire::HandshakeMode::Encrypted);
        }
        EXPECT_EQ(endings, c.retry ? 0 : 1);
        TearDown();
    }
}

TEST_F(PeerWireEncryptionTest, PlainRetryIsMadeOnceAndItsFailureEndsThePeer)
{
    dial(PeerWire::HandshakeMode::Encrypted);
    ASSERT_TRUE(acceptNext());
    wire->tick(5000);
    remote.reset();
    ASSERT_TRUE(acceptNext());
    EXPECT_EQ(remote->take(68).mid(28, 20), kWireInfoHash);
    // The plain attempt has a time-out of its own, from the reconnection on.
    wire->tick(5000 + PeerWire::kHandshakeTimeoutMs - 1);
    EXPECT_FALSE(wire->hasEnded());
    remote.reset();
    EXPECT_TRUE(pumpUntil([&] { return endings > 0; }));
    EXPECT_FALSE(acceptNext(200));
    EXPECT_EQ(endings, 1);
}

TEST_F(PeerWireEncryptionTest, AcceptedEncryptedConnectionsAnswerWhatTheInitiatorOffered)
{
    struct Case
    {
        const char* name;
        quint32 provide;
        qsizetype padC;
        bool handshakeInInitialPayload;
        quint32 expectedSelect;
    };
    const Case cases[] = {
        {"RC4, handshake as initial payload", kRC4, 0, true, kRC4},
        {"RC4 or plain, 10-byte PadC, handshake in the stream", kRC4 | kPlain, 10, false, kRC4},
        {"plain only, handshake as initial payload", kPlain, 0, true, kPlain},
        {"plain only, handshake in the stream", kPlain, 3, false, kPlain},
    };
    const QByteArray haveAll = PeerMessage::simple(PeerMessage::HaveAll);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        adopt();
        ScriptedInitiator initiator(*remote, kWireInfoHash);
        ASSERT_TRUE(initiator.offer(c.provide, QByteArray(c.padC, 'p'),
                                    c.handshakeInInitialPayload ? remoteHandshake() : QByteArray()));
        if (!c.handshakeInInitialPayload) {
            // The stream after the offer is RC4 only when RC4 was offered, which we take.
            initiator.rc4 = c.expectedSelect == kRC4;
            initiator.send(remoteHandshake());
        }
        EXPECT_EQ(initiator.selection(), c.expectedSelect);
        const QByteArray ours = initiator.receive(68);
        EXPECT_EQ(ours.left(20), QByteArray("\x13" "BitTorrent protocol"));
        EXPECT_EQ(ours.mid(28, 20), kWireInfoHash);
        ASSERT_TRUE(pumpUntil([&] { return wire->isStreamingMessages(); }));
        EXPECT_EQ(wire->torrent(), torrent.get());
        EXPECT_EQ(wire->isEncrypted(), c.expectedSelect == kRC4);
        // Messages after the handshakes pass the ciphers both ways: a peer with every piece is interesting.
        initiator.send(haveAll);
        EXPECT_TRUE(pumpUntil([&] { return wire->weAreInterested(); }));
        EXPECT_EQ(endings, 0);
        TearDown();
    }
}

TEST_F(PeerWireEncryptionTest, AcceptedConnectionEndsOnABadVerificationConstantOrAnUnknownTorrent)
{
    struct Case
    {
        const char* name;
        QByteArray infoHash;
        QByteArray verification;
    };
    const Case cases[] = {
        {"non-zero VC", kWireInfoHash, QByteArray::fromHex("0000000000000001")},
        {"unknown torrent", QByteArray(20, 'u'), QByteArray(8, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        adopt();
        ScriptedInitiator initiator(*remote, c.infoHash);
        ASSERT_TRUE(initiator.offer(kRC4, {}, remoteHandshake(0x05, c.infoHash), c.verification));
        EXPECT_TRUE(pumpUntil([&] { return endings > 0; }));
        EXPECT_TRUE(remote->closedByEngine());
        EXPECT_FALSE(wire->isStreamingMessages());
        TearDown();
    }
}
