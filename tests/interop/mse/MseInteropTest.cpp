// The encryption handshake against real clients on loopback: libtorrent (through the python bindings)
// and aria2, each requiring RC4, in both roles; and a libtorrent that refuses encryption, which our
// initiator must meet with the plain retry. After the handshake each side's BitTorrent handshake and
// first message travel through the negotiated ciphers.
#include "engine/wire/MseHandshake.h"
#include "kit/ByteReader.h"
#include "support/OpentrackerProcess.h"
#include "interop/support/Aria2Peer.h"
#include "interop/support/LibtorrentPeer.h"
#include "support/LoopbackPorts.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

using State = MseHandshake::State;

class Socket
{
public:
    explicit Socket(int fd = -1) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool sendAll(int fd, QByteArray bytes, StreamCipher* cipher = nullptr)
{
    if (cipher)
        cipher->apply(bytes.data(), bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t sent = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        at += sent;
    }
    return true;
}

QByteArray btHandshake(const QByteArray& infoHash, char peerIdFill)
{
    return QByteArray("\x13" "BitTorrent protocol") + QByteArray::fromHex("0000000000100005") + infoHash
        + "-OM0100-" + QByteArray(12, peerIdFill);
}

// One side of a connection: runs the handshake, then keeps the payload in the clear.
struct Connection
{
    Connection(int descriptor, MseHandshake h) : socket(descriptor), handshake(std::move(h)) {}

    // Runs the handshake until it ends, the peer closes, or `timeoutMs` passed.
    void handshakeWithin(int timeoutMs)
    {
        sendAll(socket.fd(), handshake.takeOutput());
        QElapsedTimer timer;
        timer.start();
        while (handshake.state() == State::Running && !closed && timer.elapsed() < timeoutMs) {
            if (!receive(100))
                continue;
            input.remove(0, handshake.consume(input.data(), input.size()));
            sendAll(socket.fd(), handshake.takeOutput());
        }
        if (handshake.state() == State::Finished) {
            encrypt = handshake.takeEncryptCipher();
            decrypt = handshake.takeDecryptCipher();
        }
    }

    // Waits until the payload holds at least `count` bytes.
    bool payloadOf(qsizetype count, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (input.size() < count && !closed && timer.elapsed() < timeoutMs)
            receive(100);
        return input.size() >= count;
    }

    // The first message after the 68-byte handshake: its id, -1 for a keep-alive, -2 when none came.
    int firstMessageId()
    {
        if (!payloadOf(68 + 4))
            return -2;
        const quint32 length = deserializeBigEndian4AtIndex(input, 68).value_or(0);
        if (length == 0)
            return -1;
        if (length > (1 << 20) || !payloadOf(68 + 4 + 1))
            return -2;
        return quint8(input[68 + 4]);
    }

    bool receive(int waitMs)
    {
        pollfd p{socket.fd(), POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return false;
        char chunk[16384];
        const ssize_t got = ::recv(socket.fd(), chunk, sizeof chunk, 0);
        if (got <= 0) {
            closed = true;
            return false;
        }
        if (decrypt)
            decrypt->apply(chunk, got);
        input.append(chunk, got);
        return true;
    }

    Socket socket;
    MseHandshake handshake;
    QByteArray input;
    bool closed = false;
    std::unique_ptr<StreamCipher> encrypt;
    std::unique_ptr<StreamCipher> decrypt;
};

class MseInteropTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        infoHash = QByteArray::fromHex(makePayload(folder.path()));
        ASSERT_EQ(infoHash.size(), 20);
        torrentPath = folder.filePath(QStringLiteral("payload.torrent"));
    }

    // A libtorrent peer seeding the test torrent, or fetching it (dialling `connect` when given).
    std::unique_ptr<HelperProcess> libtorrent(const char* role, const char* encryption, quint16 connect = 0)
    {
        const bool seed = qstrcmp(role, "seed") == 0;
        QStringList extra;
        if (connect)
            extra << QStringLiteral("--connect") << QStringLiteral("127.0.0.1:%1").arg(connect);
        return libtorrentPeer(role, torrentPath, seed ? folder.path() : folder.filePath(QStringLiteral("fetch")),
                              encryption, 40, nullptr, extra);
    }

    // Our initiator on the peer at `port`, up to the end of the encryption handshake.
    std::unique_ptr<Connection> initiate(quint16 port)
    {
        const int fd = dialLoopback(port);
        EXPECT_GE(fd, 0);
        auto connection = std::make_unique<Connection>(
            fd, MseHandshake::initiator(infoHash, btHandshake(infoHash, 'i')));
        connection->handshakeWithin(10000);
        return connection;
    }

    // Checks a finished connection: the peer's BitTorrent handshake for our torrent arrives through the
    // ciphers, and so does its first message after ours went out.
    void expectEncryptedBitTorrentExchange(Connection& c, bool weSendOurHandshake)
    {
        ASSERT_EQ(c.handshake.state(), State::Finished)
            << "failure " << int(c.handshake.failure()) << ", closed " << c.closed << ", peer key "
            << c.handshake.hasPeerPublicKey() << ", " << c.input.size() << " bytes unused";
        EXPECT_EQ(c.handshake.method(), MseHandshake::Method::RC4);
        ASSERT_TRUE(c.encrypt && c.decrypt);
        if (weSendOurHandshake) {
            ASSERT_TRUE(sendAll(c.socket.fd(), btHandshake(infoHash, 'r'), c.encrypt.get()));
        }
        ASSERT_TRUE(c.payloadOf(68));
        EXPECT_EQ(c.input.left(20), QByteArray("\x13" "BitTorrent protocol"));
        EXPECT_EQ(c.input.mid(28, 20), infoHash);
        // A message with a known id, read through the cipher (a keep-alive or nothing proves no decryption).
        const int id = c.firstMessageId();
        EXPECT_TRUE(id >= 0 && id <= 20) << id;
    }

    QTemporaryDir folder;
    QByteArray infoHash;
    QString torrentPath;
};

}  // namespace

TEST_F(MseInteropTest, LibtorrentSeederRequiringEncryptionAcceptsOurInitiator)
{
    auto seeder = libtorrent("seed", "required");
    const quint16 port = seeder->waitForLine("ready", 20000).toUShort();
    ASSERT_NE(port, 0);
    auto connection = initiate(port);
    expectEncryptedBitTorrentExchange(*connection, false);
}

TEST_F(MseInteropTest, LibtorrentDownloaderRequiringEncryptionIsAnsweredByOurResponder)
{
    Socket listener(boundSocket(SOCK_STREAM, 0));
    ASSERT_GE(listener.fd(), 0);
    const quint16 ourPort = localPort(listener.fd());
    auto fetcher = libtorrent("fetch", "required", ourPort);
    ASSERT_FALSE(fetcher->waitForLine("ready", 20000).isEmpty());
    Connection connection(acceptWithin(listener.fd(), 15000),
                          MseHandshake::responder(MseHandshake::resolverFor({QByteArray(20, 'z'), infoHash})));
    ASSERT_GE(connection.socket.fd(), 0);
    connection.handshakeWithin(10000);
    EXPECT_EQ(connection.handshake.infoHash(), infoHash);
    expectEncryptedBitTorrentExchange(connection, true);
}

TEST_F(MseInteropTest, LibtorrentRefusingEncryptionEndsOurAttemptBeforeItsKeySoThePlainRetryApplies)
{
    auto seeder = libtorrent("seed", "disabled");
    const quint16 port = seeder->waitForLine("ready", 20000).toUShort();
    ASSERT_NE(port, 0);
    auto attempt = initiate(port);
    EXPECT_TRUE(attempt->closed);
    EXPECT_EQ(attempt->handshake.state(), State::Running);
    EXPECT_TRUE(attempt->handshake.plainRetryApplies());

    Connection plain(dialLoopback(port), MseHandshake::initiator(infoHash, {}));  // its handshake is never run
    ASSERT_TRUE(sendAll(plain.socket.fd(), btHandshake(infoHash, 'p')));
    ASSERT_TRUE(plain.payloadOf(68));
    EXPECT_EQ(plain.input.mid(28, 20), infoHash);
}

// aria2 offers an empty initial payload and sends its BitTorrent handshake in the encrypted stream.
TEST_F(MseInteropTest, Aria2DownloaderRequiringEncryptionIsAnsweredByOurResponder)
{
    test::OpentrackerProcess tracker;
    ASSERT_TRUE(tracker.start({infoHash}));
    Socket listener(boundSocket(SOCK_STREAM, 0));
    ASSERT_GE(listener.fd(), 0);
    const quint16 ourPort = localPort(listener.fd());
    ASSERT_TRUE(tracker.announceSeed(infoHash, ourPort));

    auto fetcher = test::aria2RequiringEncryption(torrentPath, folder.filePath(QStringLiteral("aria2")),
                                                  tracker.announceAddress());
    Connection connection(acceptWithin(listener.fd(), 20000),
                          MseHandshake::responder(MseHandshake::resolverFor({infoHash})));
    ASSERT_GE(connection.socket.fd(), 0);
    connection.handshakeWithin(10000);
    EXPECT_EQ(connection.handshake.initialPayloadLength(), 0);
    expectEncryptedBitTorrentExchange(connection, true);
}

TEST_F(MseInteropTest, Aria2SeederRequiringEncryptionAcceptsOurInitiator)
{
    const QString seedFolder = folder.path();
    auto seeder = test::aria2RequiringEncryption(torrentPath, seedFolder);
    const quint16 port = listeningPortOf(seeder->processId(), 30000);
    ASSERT_NE(port, 0);
    auto connection = initiate(port);
    expectEncryptedBitTorrentExchange(*connection, false);
}
