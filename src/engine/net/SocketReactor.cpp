#include "engine/net/SocketReactor.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/epoll.h>
#include <unistd.h>

namespace ombrelay {
namespace {

constexpr int kMaxEventsPerBatch = 256;

quint32 interestMask(bool read, bool write)
{
    quint32 mask = EPOLLRDHUP;
    if (read)
        mask |= EPOLLIN;
    if (write)
        mask |= EPOLLOUT;
    return mask;
}

}  // namespace

SocketReactor& SocketReactor::instance()
{
    static SocketReactor* reactor = new SocketReactor;  // lives as long as the process
    return *reactor;
}

SocketReactor::SocketReactor()
{
    // A peer that resets a connection must never kill the process through a write.
    ::signal(SIGPIPE, SIG_IGN);
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        qWarning("*** epoll_create1: %s", std::strerror(errno));
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_epoll, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { processEvents(); });
}

SocketReactor::~SocketReactor()
{
    m_notifier.reset();
    if (m_epoll >= 0)
        ::close(m_epoll);
}

quint64 SocketReactor::add(int fd, Handler* handler, bool read, bool write)
{
    if (m_epoll < 0 || fd < 0)
        return 0;
    const quint64 token = m_nextToken++;
    epoll_event event{};
    event.events = interestMask(read, write);
    event.data.u64 = token;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        qWarning("*** epoll_ctl add %d: %s", fd, std::strerror(errno));
        return 0;
    }
    m_entries.emplace(token, Entry{fd, handler});
    return token;
}

bool SocketReactor::modify(quint64 token, bool read, bool write)
{
    const auto it = m_entries.find(token);
    if (it == m_entries.end())
        return false;
    epoll_event event{};
    event.events = interestMask(read, write);
    event.data.u64 = token;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, it->second.fd, &event) == 0;
}

void SocketReactor::remove(quint64 token)
{
    const auto it = m_entries.find(token);
    if (it == m_entries.end())
        return;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, it->second.fd, nullptr);
    m_entries.erase(it);
}

int SocketReactor::processEvents()
{
    if (m_epoll < 0)
        return 0;
    epoll_event events[kMaxEventsPerBatch];
    int count;
    do {
        count = ::epoll_wait(m_epoll, events, kMaxEventsPerBatch, 0);
    } while (count < 0 && errno == EINTR);
    int handed = 0;
    for (int i = 0; i < count; ++i) {
        // Looked up again for every event: an earlier handler may have removed this registration.
        const auto it = m_entries.find(events[i].data.u64);
        if (it == m_entries.end())
            continue;
        it->second.handler->socketEvents(events[i].events);
        ++handed;
    }
    return handed;
}

}  // namespace ombrelay
