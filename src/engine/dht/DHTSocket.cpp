#include "engine/dht/DHTSocket.h"
#include "engine/bencode/Bdecoder.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrelay {

DHTSocket::DHTSocket(int descriptor, QObject* parent)
    : QObject(parent), m_descriptor(descriptor), m_notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
{
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags >= 0)
        fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
    connect(m_notifier, &QSocketNotifier::activated, this, &DHTSocket::readDatagrams);
}

DHTSocket::~DHTSocket()
{
    m_notifier->setEnabled(false);
    if (m_ownsDescriptor)
        ::close(m_descriptor);
}

std::unique_ptr<DHTSocket> DHTSocket::bind(quint32 address, quint16 port, QString* error)
{
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons(port);
    if (descriptor < 0 || ::bind(descriptor, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        if (descriptor >= 0)
            ::close(descriptor);
        return nullptr;
    }
    auto socket = std::make_unique<DHTSocket>(descriptor);
    socket->m_ownsDescriptor = true;
    return socket;
}

quint16 DHTSocket::localPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool DHTSocket::send(const QByteArray& datagram, const DhtNodeAddress& destination)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination.address;
    to.sin_port = htons(destination.port);
    const ssize_t sent = ::sendto(m_descriptor, datagram.constData(), size_t(datagram.size()), MSG_DONTWAIT,
                                  reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (sent != datagram.size()) {
        fprintf(stderr, "*** DHT: send to %s failed: %s\n", qPrintable(destination.toString()), std::strerror(errno));
        return false;
    }
    return true;
}

void DHTSocket::readDatagrams()
{
    // One byte over the decoder's limit tells an oversized datagram from one that fits exactly.
    QByteArray buffer(Bdecoder::kDatagramLimit + 1, Qt::Uninitialized);
    for (int i = 0; i < kMaxDatagramsPerWake; ++i) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = ::recvfrom(m_descriptor, buffer.data(), size_t(buffer.size()), MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                fprintf(stderr, "*** DHT: receive failed: %s\n", std::strerror(errno));
            return;
        }
        if (received == 0 || received > Bdecoder::kDatagramLimit || from.sin_family != AF_INET)
            continue;
        emit datagramReceived(QByteArray(buffer.constData(), received), DhtNodeAddress{from.sin_addr.s_addr, ntohs(from.sin_port)});
    }
}

}  // namespace ombrelay
