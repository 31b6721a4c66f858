#include "support/LoopbackPorts.h"

#include <QFile>
#include <QList>
#include <QSet>
#include <arpa/inet.h>
#include <dirent.h>
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

// The inodes of the sockets open in process `pid`, as /proc names them.
QSet<QByteArray> socketInodes(qint64 pid)
{
    QSet<QByteArray> inodes;
    const QByteArray folder = "/proc/" + QByteArray::number(pid) + "/fd";
    DIR* descriptors = ::opendir(folder.constData());
    if (!descriptors)
        return inodes;
    while (const dirent* entry = ::readdir(descriptors)) {
        char target[64];
        const ssize_t length = ::readlinkat(::dirfd(descriptors), entry->d_name, target, sizeof target);
        const QByteArray link(target, length > 0 ? int(length) : 0);
        if (link.startsWith("socket:[") && link.endsWith(']'))
            inodes.insert(link.mid(8, link.size() - 9));
    }
    ::closedir(descriptors);
    return inodes;
}

// The ports of the IPv4 TCP sockets of process `pid` in the listening state.
QList<quint16> listeningPorts(qint64 pid)
{
    const QSet<QByteArray> inodes = socketInodes(pid);
    QList<quint16> ports;
    QFile table(QStringLiteral("/proc/%1/net/tcp").arg(pid));
    if (inodes.isEmpty() || !table.open(QIODevice::ReadOnly))
        return ports;
    table.readLine();  // the heading
    for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ...
        const QList<QByteArray> fields = line.simplified().split(' ');
        constexpr char kListen[] = "0A";
        if (fields.size() > 9 && fields[3] == kListen && inodes.contains(fields[9]))
            ports.append(fields[1].mid(fields[1].indexOf(':') + 1).toUShort(nullptr, 16));
    }
    return ports;
}

}  // namespace

quint16 listeningPortOf(qint64 pid, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 100) {
        const QList<quint16> ports = listeningPorts(pid);
        if (ports.size() == 1)
            return ports.first();
        ::usleep(100000);
    }
    return 0;
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
