#include "engine/net/NetTestSupport.h"
#include "engine/wire/MseHandshake.h"
#include "engine/wire/MseReference.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// Runs the handshake on the transport's streams the way a peer connection does: consume what the read
// stream holds, drain it, send the output as handshake bytes, then put the ciphers on the streams and
// send the first message through them.
class EncryptingPeer : public StreamPeer
{
public:
    EncryptingPeer(int fd, MseHandshake h, QByteArray first)
        : socket(std::make_unique<PZSocket>(fd, this)), handshake(std::move(h)), firstMessage(std::move(first))
    {
        socket->writeStream().writeHandshakingMessage(handshake.takeOutput(), false);
    }

    bool isStreamingMessages() const override { return handshake.state() == MseHandshake::State::Finished; }
    void processReadStreamBuffer() override
    {
        PZReadStream& in = socket->readStream();
        if (handshake.state() == MseHandshake::State::Running) {
            in.drainBufferBy(handshake.consume(in.mutableBuffer(), in.buflen()));
            const QByteArray output = handshake.takeOutput();
            if (!output.isEmpty())
                socket->writeStream().writeHandshakingMessage(output, false);
            if (handshake.state() != MseHandshake::State::Finished)
                return;
            socket->writeStream().setCipher(handshake.takeEncryptCipher());
            in.setCipher(handshake.takeDecryptCipher());
            socket->writeStream().writeHighPriorityMessage(firstMessage);
        }
        if (handshake.state() == MseHandshake::State::Finished) {
            received.append(in.buffer(), in.buflen());
            in.drainBufferBy(in.buflen());
        }
    }
    void terminatePeer() override { ++terminations; }
    BandwidthProvision* downloadProvision() override { return nullptr; }
    BandwidthProvision* uploadProvision() override { return nullptr; }
    void didUploadBytes(quint32) override {}

    std::unique_ptr<PZSocket> socket;
    MseHandshake handshake;
    QByteArray firstMessage;
    QByteArray received;
    int terminations = 0;
};

}  // namespace

TEST(MseTransportTest, HandshakeThenEncryptedMessagesThroughTheStreams)
{
    resetGlobalBudgets();
    auto [outgoing, incoming] = loopbackPair();
    ASSERT_GE(outgoing, 0);
    const DiffieHellman otherKeys;
    const QByteArray bitfield = QByteArray::fromHex("0000000305ff80");
    EncryptingPeer initiator(outgoing, MseHandshake::initiator(kInfoHash, plainHandshake('A')), bitfield);
    EncryptingPeer responder(incoming, MseHandshake::responder(MseHandshake::resolverFor({kInfoHash}), {&otherKeys, {}}),
                             plainHandshake('B') + bitfield);

    QTRY_VERIFY_WITH_TIMEOUT(initiator.received.size() >= 68 + bitfield.size()
                                 && responder.received.size() >= 68 + bitfield.size(),
                             5000);
    EXPECT_EQ(initiator.handshake.method(), MseHandshake::Method::RC4);
    EXPECT_TRUE(initiator.socket->writeStream().isEncrypting());
    EXPECT_EQ(initiator.received, plainHandshake('B') + bitfield);
    EXPECT_EQ(responder.received, plainHandshake('A') + bitfield);
    EXPECT_EQ(initiator.terminations + responder.terminations, 0);
}
