#include "engine/wire/MseHandshake.h"
#include "engine/wire/MseReference.h"

#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;
using State = MseHandshake::State;
using Failure = MseHandshake::Failure;
using Method = MseHandshake::Method;

namespace {

// Piece sizes the input is cut into: byte by byte, small odd pieces, one piece.
const qsizetype kPieces[] = {1, 7, 1 << 20};

QByteArray secretSeenByResponder()
{
    return responderKeys().sharedSecret(initiatorKeys().publicKey());
}

QByteArray pad(qsizetype length)
{
    QByteArray bytes(length, '\0');
    for (qsizetype n = 0; n < length; ++n)
        bytes[n] = char(n * 13 + 5);
    return bytes;
}

// A responder's side: Yb, PadB, then encrypted VC, crypto_select, len(PadD) and PadD, then `payload`,
// encrypted when RC4 is selected. `key` ends positioned after all of it.
QByteArray responderScript(qsizetype padB, quint32 select, quint16 lenPadD, const QByteArray& payload,
                           std::unique_ptr<RC4>& key)
{
    key = referenceKey("keyB", secretSeenByResponder());
    QByteArray encrypted = QByteArray(8, '\0') + uint32Bytes(select) + uint16Bytes(lenPadD) + pad(lenPadD);
    key->apply(encrypted.data(), encrypted.size());
    QByteArray tail = payload;
    if (select & 2)
        key->apply(tail.data(), tail.size());
    return responderKeys().publicKey() + pad(padB) + encrypted + tail;
}

struct InitiatorScript
{
    qsizetype padA = 0;
    QByteArray vc = QByteArray(8, '\0');
    quint32 provide = 2;
    quint16 lenPadC = 0;
    QByteArray initialPayload = plainHandshake('B');
    QByteArray infoHash = kInfoHash;
    QByteArray trailing;  // after IA, encrypted when RC4 is provided
};

// An initiator's side: Ya, PadA, req1, req2 ^ req3, then encrypted VC, crypto_provide, len(PadC), PadC,
// len(IA), IA.
QByteArray initiatorBytes(const InitiatorScript& s)
{
    const QByteArray secret = initiatorKeys().sharedSecret(responderKeys().publicKey());
    auto key = referenceKey("keyA", secret, s.infoHash);
    QByteArray encrypted = s.vc + uint32Bytes(s.provide) + uint16Bytes(s.lenPadC) + pad(s.lenPadC)
        + uint16Bytes(quint16(s.initialPayload.size())) + s.initialPayload;
    key->apply(encrypted.data(), encrypted.size());
    QByteArray tail = s.trailing;
    if (s.provide & 2)
        key->apply(tail.data(), tail.size());
    return initiatorKeys().publicKey() + pad(s.padA) + sha1Of("req1", secret)
        + xorOf(sha1Of("req2", s.infoHash), sha1Of("req3", secret)) + encrypted + tail;
}

MseHandshake newInitiator()
{
    return MseHandshake::initiator(kInfoHash, plainHandshake('A'), fixedOptions(initiatorKeys(), 9));
}

MseHandshake newResponder()
{
    return MseHandshake::responder(MseHandshake::resolverFor({QByteArray(20, 'x'), kInfoHash}),
                                   fixedOptions(responderKeys(), 19));
}

}  // namespace

TEST(MseHandshakeTest, InitiatorSecondWriteIs124BytesThatAReferenceResponderDecrypts)
{
    for (const qsizetype piece : kPieces) {
        SCOPED_TRACE(piece);
        MseHandshake initiator = newInitiator();
        const QByteArray ya = initiator.takeOutput();
        ASSERT_EQ(ya.size(), 96 + 10);
        EXPECT_EQ(ya.left(96), initiatorKeys().publicKey());

        Feeder feeder(initiator);
        feeder.feed(responderKeys().publicKey() + pad(30), piece);
        const QByteArray second = feeder.output;
        ASSERT_EQ(second.size(), 20 + 20 + 16 + 68);
        EXPECT_TRUE(initiator.hasPeerPublicKey());
        EXPECT_FALSE(initiator.plainRetryApplies());

        const QByteArray secret = secretSeenByResponder();
        EXPECT_EQ(second.left(20), sha1Of("req1", secret));
        EXPECT_EQ(xorOf(second.mid(20, 20), sha1Of("req3", secret)), MseHandshake::obfuscatedInfoHash(kInfoHash));
        auto keyA = referenceKey("keyA", secret);
        const QByteArray clear = applied(*keyA, second.mid(40));
        EXPECT_EQ(clear.left(8), QByteArray(8, '\0'));                  // VC
        EXPECT_EQ(clear.mid(8, 4), QByteArray::fromHex("00000002"));    // RC4 only
        EXPECT_EQ(clear.mid(12, 2), QByteArray::fromHex("0000"));       // no PadC
        EXPECT_EQ(clear.mid(14, 2), QByteArray::fromHex("0044"));       // len(IA) 68
        EXPECT_EQ(clear.mid(16), plainHandshake('A'));

        // The rest of PadB, then the responder's answer and its first message in the same stream.
        std::unique_ptr<RC4> keyB;
        const QByteArray answer = responderScript(30, 2, 5, plainHandshake('B'), keyB).mid(96 + 30);
        feeder.feed(answer, piece);
        ASSERT_EQ(initiator.state(), State::Finished);
        EXPECT_EQ(initiator.method(), Method::RC4);
        EXPECT_EQ(feeder.input, plainHandshake('B'));

        // The installed ciphers carry on both key streams.
        auto encrypt = initiator.takeEncryptCipher();
        ASSERT_TRUE(encrypt && feeder.decrypt);
        EXPECT_EQ(applied(*keyA, applied(*encrypt, "interested")), QByteArray("interested"));
        EXPECT_EQ(applied(*feeder.decrypt, applied(*keyB, "unchoke")), QByteArray("unchoke"));
    }
}

TEST(MseHandshakeTest, InitiatorAgainstScriptedResponders)
{
    const struct
    {
        const char* name;
        qsizetype padB;
        quint32 select;
        quint16 lenPadD;
        State state;
        Failure failure;
        Method method;
    } rows[] = {
        {"RC4, no pads", 0, 2, 0, State::Finished, Failure::None, Method::RC4},
        {"PadB 512, PadD 512", 512, 2, 512, State::Finished, Failure::None, Method::RC4},
        {"both bits: RC4", 7, 3, 1, State::Finished, Failure::None, Method::RC4},
        {"plain selected", 7, 1, 3, State::Finished, Failure::None, Method::Plain},
        {"nothing selected", 7, 0, 0, State::Failed, Failure::NoCommonMethod, Method::Plain},
        {"len(PadD) 513", 7, 2, 513, State::Failed, Failure::PadTooLong, Method::RC4},
        {"VC after 513 bytes of PadB", 513, 2, 0, State::Failed, Failure::SyncNotFound, Method::Plain},
    };
    const QByteArray payload = plainHandshake('B');
    for (const auto& row : rows) {
        for (const qsizetype piece : kPieces) {
            SCOPED_TRACE(testing::Message() << row.name << ", pieces of " << piece);
            MseHandshake initiator = newInitiator();
            Feeder feeder(initiator);
            std::unique_ptr<RC4> keyB;
            feeder.feed(responderScript(row.padB, row.select, row.lenPadD, payload, keyB), piece);
            EXPECT_EQ(initiator.state(), row.state);
            EXPECT_EQ(initiator.failure(), row.failure);
            EXPECT_FALSE(initiator.plainRetryApplies());
            if (row.state != State::Finished)
                continue;
            EXPECT_EQ(initiator.method(), row.method);
            EXPECT_EQ(feeder.input, payload);
            EXPECT_EQ(initiator.takeEncryptCipher() != nullptr, row.method == Method::RC4);
        }
    }
}

TEST(MseHandshakeTest, YaIsThePublicKeyAndOneTo512PadBytesBelow255)
{
    const struct
    {
        quint32 first;
        qsizetype length;
    } rows[] = {{0, 97}, {511, 608}, {512, 97}, {0xffffffff, 608}, {100, 197}};
    for (const auto& row : rows) {
        MseHandshake initiator = MseHandshake::initiator(kInfoHash, plainHandshake('A'),
                                                         fixedOptions(initiatorKeys(), row.first));
        const QByteArray ya = initiator.takeOutput();
        EXPECT_EQ(ya.size(), row.length) << row.first;
        EXPECT_EQ(ya.left(96), initiatorKeys().publicKey());
        EXPECT_TRUE(std::all_of(ya.begin() + 96, ya.end(), [](char c) { return quint8(c) < 255; }));
    }
}

TEST(MseHandshakeTest, InitiatorSearchesVCWithin520BytesAfterYb)
{
    const QByteArray yb = responderKeys().publicKey();
    for (const qsizetype garbage : {qsizetype(519), qsizetype(520)}) {
        MseHandshake initiator = newInitiator();
        Feeder feeder(initiator);
        feeder.feed(yb + QByteArray(garbage, '\x01'), 64);
        EXPECT_EQ(initiator.state(), garbage < 520 ? State::Running : State::Failed) << garbage;
        EXPECT_EQ(initiator.failure(), garbage < 520 ? Failure::None : Failure::SyncNotFound);
        EXPECT_LE(feeder.input.size(), 7);  // passed-over padding is not kept
    }
}

TEST(MseHandshakeTest, InitiatorSignalsWhenThePlainRetryApplies)
{
    MseHandshake quiet = newInitiator();
    Feeder partial(quiet);
    partial.feed(responderKeys().publicKey().left(95));
    EXPECT_EQ(quiet.state(), State::Running);
    EXPECT_TRUE(quiet.plainRetryApplies());

    MseHandshake answeredPlain = newInitiator();
    QByteArray plain = plainHandshake('B');
    EXPECT_EQ(answeredPlain.consume(plain.data(), 19), 0);
    EXPECT_EQ(answeredPlain.state(), State::Running);
    EXPECT_EQ(answeredPlain.consume(plain.data(), plain.size()), 0);
    EXPECT_EQ(answeredPlain.state(), State::PeerSpeaksPlain);
    EXPECT_TRUE(answeredPlain.plainRetryApplies());
    EXPECT_EQ(plain, plainHandshake('B'));

    MseHandshake badKey = newInitiator();
    QByteArray zeros(96, '\0');
    badKey.consume(zeros.data(), zeros.size());
    EXPECT_EQ(badKey.failure(), Failure::BadPublicKey);
    EXPECT_FALSE(badKey.plainRetryApplies());
}

TEST(MseHandshakeTest, ResponderAgainstScriptedInitiators)
{
    const QByteArray ia = plainHandshake('B');
    const QByteArray keepAlive("\0\0\0\0", 4);
    const struct
    {
        const char* name;
        InitiatorScript script;
        State state;
        Failure failure;
        Method method;
        QByteArray payload;  // what follows the handshake, in the clear
    } rows[] = {
        {"PadC 10, len(IA) 68", {.lenPadC = 10, .trailing = keepAlive}, State::Finished, Failure::None,
         Method::RC4, ia + keepAlive},
        {"len(IA) 0, handshake in the stream", {.initialPayload = {}, .trailing = ia}, State::Finished,
         Failure::None, Method::RC4, ia},
        {"PadA 512, PadC 512", {.padA = 512, .lenPadC = 512, .trailing = {}}, State::Finished, Failure::None, Method::RC4, ia},
        {"plain offered", {.provide = 1, .trailing = keepAlive}, State::Finished, Failure::None, Method::Plain,
         ia + keepAlive},
        {"plain with len(IA) 0", {.provide = 1, .initialPayload = {}, .trailing = ia}, State::Finished,
         Failure::None, Method::Plain, ia},
        {"both offered: RC4", {.provide = 3, .trailing = {}}, State::Finished, Failure::None, Method::RC4, ia},
        {"nothing offered", {.provide = 4, .trailing = {}}, State::Failed, Failure::NoCommonMethod, Method::Plain, {}},
        {"VC not zero", {.vc = QByteArray::fromHex("0000000000000100"), .trailing = {}}, State::Failed,
         Failure::BadVerificationConstant, Method::Plain, {}},
        {"len(PadC) 513", {.lenPadC = 513, .trailing = {}}, State::Failed, Failure::PadTooLong, Method::RC4, {}},
        {"req1 after 513 bytes of PadA", {.padA = 513, .trailing = {}}, State::Failed, Failure::SyncNotFound, Method::Plain, {}},
        {"unknown torrent", {.infoHash = QByteArray(20, 'y'), .trailing = {}}, State::Failed, Failure::UnknownTorrent,
         Method::Plain, {}},
    };
    const QByteArray secret = secretSeenByResponder();
    for (const auto& row : rows) {
        for (const qsizetype piece : kPieces) {
            SCOPED_TRACE(testing::Message() << row.name << ", pieces of " << piece);
            MseHandshake responder = newResponder();
            Feeder feeder(responder);
            feeder.feed(initiatorBytes(row.script), piece);
            EXPECT_EQ(responder.state(), row.state);
            EXPECT_EQ(responder.failure(), row.failure);
            EXPECT_FALSE(responder.plainRetryApplies());
            ASSERT_GE(feeder.output.size(), 96 + 20);
            EXPECT_EQ(feeder.output.left(96), responderKeys().publicKey());
            if (row.state != State::Finished) {
                EXPECT_EQ(feeder.output.size(), 96 + 20);  // Yb and PadB only
                continue;
            }
            EXPECT_EQ(responder.method(), row.method);
            EXPECT_EQ(responder.infoHash(), kInfoHash);
            EXPECT_EQ(responder.initialPayloadLength(), row.script.initialPayload.size());
            EXPECT_EQ(feeder.input, row.payload);

            // The answer: encrypted VC, crypto_select, len(PadD) 0.
            ASSERT_EQ(feeder.output.size(), 96 + 20 + 14);
            auto keyB = referenceKey("keyB", secret);
            const QByteArray answer = applied(*keyB, feeder.output.mid(96 + 20));
            EXPECT_EQ(answer, QByteArray(8, '\0') + uint32Bytes(quint32(row.method)) + uint16Bytes(0));
            auto encrypt = responder.takeEncryptCipher();
            EXPECT_EQ(encrypt != nullptr, row.method == Method::RC4);
            if (encrypt) {
                EXPECT_EQ(applied(*keyB, applied(*encrypt, ia)), ia);
            }
        }
    }
}

TEST(MseHandshakeTest, ResponderSearchesReq1Within532BytesAfterYa)
{
    for (const qsizetype garbage : {qsizetype(531), qsizetype(532)}) {
        MseHandshake responder = newResponder();
        Feeder feeder(responder);
        feeder.feed(initiatorKeys().publicKey() + QByteArray(garbage, '\x02'), 100);
        EXPECT_EQ(responder.state(), garbage < 532 ? State::Running : State::Failed) << garbage;
        EXPECT_EQ(responder.failure(), garbage < 532 ? Failure::None : Failure::SyncNotFound);
        EXPECT_LE(feeder.input.size(), 19);
    }
}

TEST(MseHandshakeTest, ResponderLeavesAPlainHandshakeUntouched)
{
    MseHandshake responder = newResponder();
    QByteArray input = plainHandshake('B') + "more";
    EXPECT_EQ(responder.consume(input.data(), input.size()), 0);
    EXPECT_EQ(responder.state(), State::PeerSpeaksPlain);
    EXPECT_EQ(input, plainHandshake('B') + "more");
    EXPECT_TRUE(responder.takeOutput().isEmpty());
    EXPECT_EQ(responder.consume(input.data(), input.size()), 0);  // ended: takes nothing more
}

TEST(MseHandshakeTest, ResponderWaitsForTheWholeInitialPayload)
{
    InitiatorScript script;
    script.initialPayload = QByteArray(65535, 'p');
    const QByteArray bytes = initiatorBytes(script);
    MseHandshake responder = newResponder();
    Feeder feeder(responder);
    feeder.feed(bytes.left(bytes.size() - 1));
    EXPECT_EQ(responder.state(), State::Running);
    EXPECT_EQ(feeder.output.size(), 96 + 20);
    feeder.feed(bytes.right(1));
    ASSERT_EQ(responder.state(), State::Finished);
    EXPECT_EQ(feeder.input, script.initialPayload);
}
