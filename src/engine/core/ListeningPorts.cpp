#include "engine/core/ListeningPorts.h"

#include <QSocketNotifier>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrelay {
namespace {

constexpr int kListenBacklog = 128;
// Connections taken per readiness report; the rest wait for the next pass of the event loop.
constexpr int kMaxAcceptsPerPass = 64;
// System-picked TCP ports tried while their UDP twin is taken.
constexpr int kAnyPortAttempts = 32;

sockaddr_in socketAddress(quint32 address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = htons(port);
    return a;
}

}  // namespace

ListeningPorts::ListeningPorts(QObject* parent) : QObject(parent) {}

ListeningPorts::~ListeningPorts()
{
    close();
}

void ListeningPorts::close()
{
    m_notifier.reset();
    if (m_tcp >= 0)
        ::close(m_tcp);
    if (m_udp >= 0)
        ::close(m_udp);
    m_tcp = m_udp = -1;
    m_port = 0;
}

ListeningPorts::Outcome ListeningPorts::bindPair(quint16 port, quint32 address)
{
    sockaddr_in a = socketAddress(address, port);
    const int tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (tcp < 0)
        return Outcome::Failed;
    const int on = 1;
    ::setsockopt(tcp, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(tcp, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0
        || ::listen(tcp, kListenBacklog) != 0) {
        const int error = errno;
        ::close(tcp);
        if (error != EADDRINUSE)
            qWarning("*** bind TCP port %u: %s", port, std::strerror(error));
        return error == EADDRINUSE ? Outcome::InUse : Outcome::Failed;
    }
    if (port == 0) {
        socklen_t length = sizeof a;
        if (::getsockname(tcp, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            qWarning("*** TCP port: %s", std::strerror(errno));
            ::close(tcp);
            return Outcome::Failed;
        }
        port = ntohs(a.sin_port);
    }
    const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (udp < 0 || ::bind(udp, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        const int error = errno;
        ::close(tcp);
        if (udp >= 0)
            ::close(udp);
        if (error != EADDRINUSE)
            qWarning("*** bind UDP port %u: %s", port, std::strerror(error));
        return error == EADDRINUSE ? Outcome::InUse : Outcome::Failed;
    }
    m_tcp = tcp;
    m_udp = udp;
    m_port = port;
    return Outcome::Bound;
}

ListeningPorts::Outcome ListeningPorts::bindAnyPair(quint32 address)
{
    Outcome outcome = Outcome::InUse;
    for (int attempt = 0; attempt < kAnyPortAttempts && outcome == Outcome::InUse; ++attempt)
        outcome = bindPair(0, address);
    return outcome;
}

bool ListeningPorts::bind(quint16 firstPort, quint32 address)
{
    close();
    Outcome outcome = firstPort == 0 ? bindAnyPair(address) : Outcome::InUse;
    for (quint32 port = firstPort; port != 0 && port <= 65535 && outcome == Outcome::InUse; ++port)
        outcome = bindPair(quint16(port), address);
    if (outcome != Outcome::Bound) {
        qWarning("*** no listening port (from %u)", firstPort);
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_tcp, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ListeningPorts::acceptPending);
    return true;
}

void ListeningPorts::acceptPending()
{
    for (int i = 0; i < kMaxAcceptsPerPass && m_tcp >= 0; ++i) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_tcp, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED)
                continue;
            if (error != EAGAIN && error != EWOULDBLOCK) {
                qWarning("*** accept: %s", std::strerror(error));
                // Out of descriptors: the pending connection stays readable, so rest a second, not spin.
                if (m_notifier) {
                    m_notifier->setEnabled(false);
                    QTimer::singleShot(1000, this, [this] {
                        if (m_notifier)
                            m_notifier->setEnabled(true);
                    });
                }
            }
            return;
        }
        // An address we cannot read is refused like any other.
        bool taken = false;
        if (peer.ss_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in)) && m_acceptHandler) {
            const auto& in = reinterpret_cast<const sockaddr_in&>(peer);
            taken = m_acceptHandler(fd, in.sin_addr.s_addr, in.sin_port);
        }
        if (!taken)
            ::close(fd);
    }
}

}  // namespace ombrelay
