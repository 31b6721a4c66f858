#include "engine/net/PZSocket.h"

#include "engine/net/StreamPeer.h"

#include <QPointer>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrelay {

PZSocket::PZSocket(int fd, StreamPeer* peer, QObject* parent)
    : QObject(parent), m_fd(fd), m_peer(peer), m_readStream(*this), m_writeStream(*this)
{
    if (m_fd < 0)
        return;
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK))
        ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
    // Output is gathered into batches here already; waiting for acknowledgements as well would hold
    // every small message back by the peer's delayed acknowledgement.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_token = SocketReactor::instance().add(m_fd, this, m_wantRead, m_wantWrite);
    if (!m_token)
        fail();
}

PZSocket::~PZSocket()
{
    close();
}

int PZSocket::connectTo(quint32 addressNetworkOrder, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool PZSocket::isLocalFailure(int error)
{
    switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
    case ENETUNREACH:
    case ENETDOWN:
    case EADDRNOTAVAIL:
    case EAGAIN:
        return true;
    default:
        return false;
    }
}

void PZSocket::close()
{
    if (m_fd < 0)
        return;
    SocketReactor::instance().remove(m_token);
    m_token = 0;
    m_writeStream.closeStream();
    m_readStream.closeStream();
    ::close(m_fd);
    m_fd = -1;
}

void PZSocket::fail()
{
    close();
    if (m_failed)
        return;
    m_failed = true;
    QTimer::singleShot(0, this, [this] {
        if (m_peer)
            m_peer->terminatePeer();
    });
}

void PZSocket::updateInterest()
{
    if (m_fd < 0)
        return;
    const bool read = !m_readStream.isThrottled() && !m_readStream.decryptionIsFull();
    const bool write = !m_open || m_writeStream.waitsForSocket();
    if (read == m_wantRead && write == m_wantWrite)
        return;
    m_wantRead = read;
    m_wantWrite = write;
    SocketReactor::instance().modify(m_token, read, write);
}

void PZSocket::decryptionReturned()
{
    if (!m_endedWhileDecrypting)
        return updateInterest();
    if (!m_readStream.isDecrypting())
        fail();
}

void PZSocket::socketEvents(quint32 events)
{
    QPointer<PZSocket> self(this);
    if ((events & EPOLLOUT) && !m_open) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            fail();
            return;
        }
        m_open = true;
        if (m_peer)
            m_peer->socketDidOpen();
        if (!self || isClosed())
            return;
    }
    if (events & EPOLLOUT) {
        m_writeStream.socketWritable();
        if (!self || isClosed())
            return;
    }
    if (events & (EPOLLHUP | EPOLLRDHUP | EPOLLERR)) {
        // The other side is gone: what it sent before leaving is still parsed, once decrypted.
        m_readStream.readToEnd();
        if (!self || isClosed())
            return;
        if (!m_readStream.isDecrypting())
            return fail();
        m_endedWhileDecrypting = true;
        SocketReactor::instance().remove(m_token);
        m_token = 0;
        return;
    }
    if (events & EPOLLIN) {
        m_readStream.readBytes();
        if (!self || isClosed())
            return;
    }
    updateInterest();
}

}  // namespace ombrelay
