#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace ombrelay {

// The engine's TCP listening socket and the DHT's UDP socket, bound as a pair on one port. Binding starts
// at a port and moves to the next one only while the port is in use, up to 65535; from port 0 the system
// picks the TCP port and the UDP socket takes the same number. Accepted connections
// are non-blocking and close-on-exec; one that the handler refuses is closed. Main thread only.
class ListeningPorts : public QObject
{
    Q_OBJECT
public:
    // Takes an accepted descriptor and its peer's IPv4 address and port (network order); false refuses it.
    using AcceptHandler = std::function<bool(int fd, quint32 address, quint16 port)>;

    explicit ListeningPorts(QObject* parent = nullptr);
    ~ListeningPorts() override;

    // Closes what is open, then binds both sockets to `address` (network order) on the first free port
    // from `firstPort` on (0: any free port). False, logged as "*** no listening port", when none could be
    // bound.
    bool bind(quint16 firstPort, quint32 address);
    void close();

    bool isBound() const { return m_tcp >= 0; }
    quint16 port() const { return m_port; }
    int tcpDescriptor() const { return m_tcp; }
    int udpDescriptor() const { return m_udp; }

    void setAcceptHandler(AcceptHandler handler) { m_acceptHandler = std::move(handler); }

private:
    enum class Outcome { Bound, InUse, Failed };
    // Port 0: the TCP socket's port, whichever the system gave it, for both.
    Outcome bindPair(quint16 port, quint32 address);
    Outcome bindAnyPair(quint32 address);
    void acceptPending();

    int m_tcp = -1;
    int m_udp = -1;
    quint16 m_port = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    AcceptHandler m_acceptHandler;
};

}  // namespace ombrelay
