#include "support/PrivateNetwork.h"

#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrelay::test {
namespace {

bool raiseLoopback()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

}  // namespace

PrivateNetwork::PrivateNetwork() : m_home(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
{
    if (m_home < 0 || ::unshare(CLONE_NEWNET) != 0)
        return;
    m_entered = raiseLoopback();
    if (!m_entered)
        ::setns(m_home, CLONE_NEWNET);
}

PrivateNetwork::~PrivateNetwork()
{
    if (m_entered)
        ::setns(m_home, CLONE_NEWNET);
    if (m_home >= 0)
        ::close(m_home);
}

}  // namespace ombrelay::test
