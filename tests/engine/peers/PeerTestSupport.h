#pragma once

#include "engine/peers/PeerLink.h"
#include "engine/peers/TorrentPeers.h"
#include "kit/SerialQueue.h"

#include <QTemporaryDir>
#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <future>

namespace ombrelay::test {

inline PeerAddress peerAt(const char* dotted, quint16 port)
{
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return {a.s_addr, port};
}

inline QByteArray compactEntry(const PeerAddress& peer)
{
    QByteArray bytes(reinterpret_cast<const char*>(&peer.address), 4);
    bytes += char(peer.port >> 8);
    bytes += char(peer.port & 0xFF);
    return bytes;
}

// Holds a serial queue's thread until opened (at the latest after ten seconds), so that a test sees
// what waits for the queue.
class QueueGate
{
public:
    explicit QueueGate(SerialQueue& queue)
    {
        queue.post(nullptr, [opened = m_opened.get_future().share()] { opened.wait_for(std::chrono::seconds(10)); });
    }
    ~QueueGate() { open(); }
    void open()
    {
        if (!m_isOpen)
            m_opened.set_value();
        m_isOpen = true;
    }

private:
    std::promise<void> m_opened;
    bool m_isOpen = false;
};

// Declared after a temporary folder and before the peers databases in it: their file work ends
// before the folder goes.
struct DrainsPeersFiles
{
    ~DrainsPeersFiles() { PeersDatabase::fileQueue().drain(); }
};

// A connection as the peer wire would report it: an address, a byte count, its handshake, whether the
// peer's host took it, how it ended, and whether it was closed.
class FakeLink : public PeerLink
{
public:
    explicit FakeLink(PeerAddress address) : m_address(address) {}

    PeerAddress peerAddress() const override { return m_address; }
    std::optional<PeerAddress> listeningAddress() const override { return m_address; }
    quint64 bytesDownloaded() const override { return bytes; }
    Handshake handshakeMode() const override { return handshake; }
    bool peerAnswered() const override { return answered; }
    Ending ending() const override { return end; }
    void disconnectFromPeer() override
    {
        disconnected = true;
        if (onDisconnect)
            onDisconnect(this);
    }

    quint64 bytes = 0;
    Handshake handshake = Handshake::Encrypted;
    bool answered = false;
    Ending end = Ending::Open;
    bool disconnected = false;
    std::function<void(FakeLink*)> onDisconnect;

private:
    PeerAddress m_address;
};

// A torrent's peers over a peers.db in a temporary folder, with a clock the test moves, our own addresses
// of its own, and a dialler that records what it dialled.
struct PeersFixture
{
    PeersFixture() { make(); }

    void make()
    {
        TorrentPeers::Environment environment;
        environment.dial = [this](const PeerAddress& peer, PeerLink::Handshake handshake) -> TorrentPeers::Dial {
            if (offline)
                return {nullptr, true};
            if (socketless.contains(peer))
                return {};
            auto link = std::make_shared<FakeLink>(peer);
            link->handshake = handshake;
            dialled.append(link);
            return {link};
        };
        environment.mayConnect = [this] { return mayConnect; };
        environment.isRefused = [this](quint32 address) { return refused.contains(address); };
        environment.clock = [this] { return now; };
        environment.ownAddresses = &ownAddresses;
        peers = std::make_unique<TorrentPeers>(dir.filePath("peers.db"), environment);
    }

    QTemporaryDir dir;
    DrainsPeersFiles fileWork;
    qint64 now = 1'000'000;
    bool mayConnect = true;
    QList<quint32> refused;
    QList<PeerAddress> socketless;  // these refuse at once: no connection to them can be made
    bool offline = false;           // no dial can start, for a reason of ours
    OwnAddresses ownAddresses;
    QList<std::shared_ptr<FakeLink>> dialled;
    std::unique_ptr<TorrentPeers> peers;
};

}  // namespace ombrelay::test
