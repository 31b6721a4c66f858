#include "support/LoopbackPorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrelay::test {

int boundSocket(int type, quint16 port)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (type == SOCK_STREAM && ::listen(fd, 4) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

quint16 localPort(int fd)
{
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

bool portFree(quint16 port)
{
    const int tcp = boundSocket(SOCK_STREAM, port);
    const int udp = boundSocket(SOCK_DGRAM, port);
    const bool free = tcp >= 0 && udp >= 0;
    if (tcp >= 0)
        ::close(tcp);
    if (udp >= 0)
        ::close(udp);
    return free;
}

namespace {

quint16 findPort(int span)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int probe = boundSocket(SOCK_STREAM, 0);
        const quint16 port = localPort(probe);
        ::close(probe);
        bool free = port < 65000;
        for (int i = 0; free && i < span; ++i)
            free = portFree(quint16(port + i));
        if (free)
            return port;
    }
    return 0;
}

}  // namespace

quint16 freePort()
{
    return findPort(1);
}

quint16 freePortPair()
{
    return findPort(2);
}

int dialLoopback(quint16 port, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 100) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return fd;
        ::close(fd);
        ::usleep(100000);
    }
    return -1;
}

int acceptWithin(int listener, int timeoutMs)
{
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return -1;
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

}  // namespace ombrelay::test
