#pragma once

#include <QObject>
#include <QtGlobal>
#include <memory>
#include <unordered_map>

class QSocketNotifier;

namespace ombrelay {

// Readiness of every peer socket on one level-triggered epoll descriptor, which the Qt main loop watches
// with a socket notifier. Events are handed to their handlers on the main thread in the order epoll
// reports them; a socket removed while a batch is being handed out gets nothing more from that batch.
class SocketReactor : public QObject
{
    Q_OBJECT
public:
    class Handler
    {
    public:
        virtual ~Handler() = default;
        // `events` holds the EPOLL* bits reported for the socket.
        virtual void socketEvents(quint32 events) = 0;
    };

    static SocketReactor& instance();

    SocketReactor();
    ~SocketReactor() override;

    // Registers `fd` for the given interests (plus hang-up and error); returns the token naming the
    // registration, 0 on failure.
    quint64 add(int fd, Handler* handler, bool read, bool write);
    bool modify(quint64 token, bool read, bool write);
    // Safe at any time, also from inside a handler.
    void remove(quint64 token);

    // Hands out one batch of ready events without waiting; returns how many were handed out.
    int processEvents();
    int registeredCount() const { return int(m_entries.size()); }

private:
    struct Entry
    {
        int fd;
        Handler* handler;
    };

    int m_epoll = -1;
    quint64 m_nextToken = 1;
    std::unordered_map<quint64, Entry> m_entries;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace ombrelay
