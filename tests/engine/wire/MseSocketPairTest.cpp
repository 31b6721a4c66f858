#include "engine/crypto/DiffieHellman.h"
#include "engine/wire/MseHandshake.h"
#include "engine/wire/MseReference.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// One end of a connection running a handshake, then sending `firstMessage` as a peer wire would.
struct End
{
    End(MseHandshake h, int descriptor, QByteArray first)
        : handshake(std::move(h)), fd(descriptor), firstMessage(std::move(first))
    {
        toSend = handshake.takeOutput();
    }

    // Moves at most a random number of bytes each way, then lets the handshake look at the input.
    void step(std::mt19937& random)
    {
        if (!toSend.isEmpty()) {
            const qsizetype piece = std::min<qsizetype>(toSend.size(), 1 + random() % 200);
            const ssize_t sent = ::send(fd, toSend.constData(), size_t(piece), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent > 0)
                toSend.remove(0, sent);
        }
        char chunk[300];
        const ssize_t got = ::recv(fd, chunk, 1 + random() % sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            if (decrypt)
                decrypt->apply(chunk, got);
            input.append(chunk, got);
        }
        if (handshake.state() != MseHandshake::State::Running)
            return;
        input.remove(0, handshake.consume(input.data(), input.size()));
        toSend += handshake.takeOutput();
        if (handshake.state() == MseHandshake::State::Finished) {
            decrypt = handshake.takeDecryptCipher();
            QByteArray message = firstMessage;
            if (auto encrypt = handshake.takeEncryptCipher())
                encrypt->apply(message.data(), message.size());
            toSend += message;
        }
    }

    MseHandshake handshake;
    int fd;
    QByteArray firstMessage;
    QByteArray toSend;
    QByteArray input;
    std::unique_ptr<StreamCipher> decrypt;
};

}  // namespace

TEST(MseSocketPairTest, OurInitiatorAndResponderAgreeOverASocketInRandomPieces)
{
    const DiffieHellman otherKeys;
    const QByteArray interested("\0\0\0\1\2", 5);
    for (unsigned seed = 1; seed <= 25; ++seed) {
        SCOPED_TRACE(seed);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        std::mt19937 random(seed);
        End initiator(MseHandshake::initiator(kInfoHash, plainHandshake('A')), fds[0], interested);
        End responder(MseHandshake::responder(MseHandshake::resolverFor({kInfoHash}), {&otherKeys, {}}), fds[1],
                      plainHandshake('B'));

        const QByteArray expectedByResponder = plainHandshake('A') + interested;
        const QByteArray expectedByInitiator = plainHandshake('B');
        QElapsedTimer timer;
        timer.start();
        for (int pass = 0; pass < 20000 && timer.elapsed() < 5000; ++pass) {
            initiator.step(random);
            responder.step(random);
            if (initiator.input.size() >= expectedByInitiator.size()
                && responder.input.size() >= expectedByResponder.size())
                break;
        }
        ::close(fds[0]);
        ::close(fds[1]);
        ASSERT_EQ(initiator.handshake.state(), MseHandshake::State::Finished);
        ASSERT_EQ(responder.handshake.state(), MseHandshake::State::Finished);
        EXPECT_EQ(initiator.handshake.method(), MseHandshake::Method::RC4);
        EXPECT_EQ(responder.handshake.method(), MseHandshake::Method::RC4);
        EXPECT_EQ(responder.handshake.initialPayloadLength(), 68);
        EXPECT_EQ(responder.input, expectedByResponder);
        EXPECT_EQ(initiator.input, expectedByInitiator);
    }
}
