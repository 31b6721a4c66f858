#pragma once

#include "engine/net/BandwidthProvision.h"
#include "engine/net/PZSocket.h"
#include "engine/net/SocketReactor.h"
#include "engine/net/StreamCipher.h"
#include "engine/net/StreamPeer.h"
#include "engine/wire/PeerMessage.h"
#include "support/RandomContent.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace ombrelay::test {

// A non-blocking listening socket on 127.0.0.1 at a free port; -1 on failure.
inline int loopbackListener(quint16& port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

// A connected TCP pair on 127.0.0.1: {engine side, remote side}, both non-blocking; -1s on failure.
// The first dials from `source` (host order, in 127.0.0.0/8) when given.
inline std::pair<int, int> loopbackPair(quint32 source = 0)
{
    quint16 port = 0;
    const int listener = loopbackListener(port);
    if (listener < 0)
        return {-1, -1};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in own{AF_INET, 0, {htonl(source)}, {}};
    pollfd pending{listener, POLLIN, 0};
    const bool connected = (source == 0 || ::bind(client, reinterpret_cast<sockaddr*>(&own), sizeof own) == 0)
        && ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::poll(&pending, 1, 2000) == 1;
    const int server = connected ? ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK) : -1;
    ::close(listener);
    if (server < 0) {
        ::close(client);
        return {-1, -1};
    }
    ::fcntl(client, F_SETFL, ::fcntl(client, F_GETFL) | O_NONBLOCK);
    return {client, server};
}

// Waits until `fd` has bytes to read or its connection ended (closed, reset) or `timeoutMs` passed.
inline bool waitReadable(int fd, int timeoutMs = 2000)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

// Reads what arrives on `fd` until `count` bytes came or `timeoutMs` passed.
inline QByteArray receive(int fd, qsizetype count, int timeoutMs = 2000)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    char chunk[65536];
    while (bytes.size() < count && timer.elapsed() < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t got = ::recv(fd, chunk, size_t(std::min<qsizetype>(count - bytes.size(), sizeof chunk)), 0);
        if (got <= 0)
            break;
        bytes.append(chunk, got);
    }
    return bytes;
}

// Bytes waiting on `fd`: with `settleMs` > 0 also what arrives until the line stays quiet that long
// (loopback delivers within microseconds).
inline QByteArray receiveAvailable(int fd, int settleMs = 30)
{
    QByteArray bytes;
    char chunk[65536];
    for (int i = 0; i < 1000; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, settleMs) <= 0)
            break;
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got <= 0)
            break;
        bytes.append(chunk, got);
    }
    return bytes;
}

// Position-dependent keystream: a lost, repeated or reordered byte garbles everything after it.
class CountingCipher : public StreamCipher
{
public:
    void apply(char* data, qsizetype length) override
    {
        for (qsizetype i = 0; i < length; ++i)
            data[i] = char(quint8(data[i]) ^ quint8((m_position++ * 131 + 7) >> 3));
    }

private:
    quint64 m_position = 0;
};

// A peer that keeps everything it parses.
class RecordingPeer : public StreamPeer
{
public:
    explicit RecordingPeer(int fd) : socket(std::make_unique<PZSocket>(fd, this)) {}

    bool isStreamingMessages() const override { return streaming; }
    void processReadStreamBuffer() override
    {
        ++parses;
        PZReadStream& in = socket->readStream();
        received.append(in.buffer(), in.buflen());
        in.drainBufferBy(in.buflen());
    }
    void terminatePeer() override
    {
        ++terminations;
        receivedAtTermination = received.size();
    }
    BandwidthProvision* downloadProvision() override { return download; }
    BandwidthProvision* uploadProvision() override { return upload; }
    void didUploadBytes(quint32 bytes) override { uploaded += bytes; }

    // Hands out readiness until the connection is established.
    bool open()
    {
        for (int i = 0; i < 200 && !socket->isOpen(); ++i) {
            SocketReactor::instance().processEvents();
            if (!socket->isOpen())
                ::usleep(1000);
        }
        return socket->isOpen();
    }

    std::unique_ptr<PZSocket> socket;
    bool streaming = true;
    BandwidthProvision* download = nullptr;
    BandwidthProvision* upload = nullptr;
    QByteArray received;
    qsizetype receivedAtTermination = -1;
    int parses = 0;
    int terminations = 0;
    quint64 uploaded = 0;
};

// Global budgets back to their start-up state (disabled) around every test.
inline void resetGlobalBudgets()
{
    for (BandwidthProvision* p : {&BandwidthProvision::globalDownloadProvision(),
                                  &BandwidthProvision::globalUploadProvision()}) {
        p->setIsEnabled(false);
        p->setBytesPerSecond(0);
        p->bandwidthProvisionUpdate();
    }
}

// A peer on an established loopback connection, its remote end a plain descriptor.
class ConnectedPeerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetGlobalBudgets();
        std::tie(engineFd, remoteFd) = loopbackPair();
        ASSERT_GE(engineFd, 0);
        peer = std::make_unique<RecordingPeer>(engineFd);
        ASSERT_TRUE(peer->open());
    }
    void TearDown() override
    {
        peer.reset();
        if (remoteFd >= 0)
            ::close(remoteFd);
        resetGlobalBudgets();
    }

    int engineFd = -1;
    int remoteFd = -1;
    std::unique_ptr<RecordingPeer> peer;
};

// A piece message of `blockLength` seeded random bytes at the start of piece `index`.
inline QByteArray pieceMessage(quint32 index, quint32 blockLength, char seed)
{
    return PeerMessage::piece(index, 0, seededRandomBytes(blockLength, quint32(quint8(seed))));
}

}  // namespace ombrelay::test
