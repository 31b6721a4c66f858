#pragma once

#include <QDateTime>
#include <QObject>
#include <QTime>
#include <functional>
#include <memory>

class QTimer;

namespace ombrelay {

class IdleTime;
class ListeningPorts;
class PortMapper;
class Settings;
class SleepWatcher;

// The engine's process-wide facade: the listening port (TCP for peers, UDP for the DHT, bound as a pair),
// its NAT port mapping, the open-file limit, the global download and upload limits (lifted inside a daily
// window or after the user has been idle), and the ticks that drive all transfer: every 0.1 s the budgets
// and the streams, every second the torrents' work and "CoreOneSecondTimer", every 2 s the watch folder,
// every 20 s the limits. Main thread only.
class BTCore : public QObject
{
    Q_OBJECT
public:
    // What the engine reaches through; tests put in fakes. Null pointers take the process-wide ones.
    struct Parts
    {
        Settings* settings = nullptr;
        IdleTime* idleTime = nullptr;
        SleepWatcher* sleepWatcher = nullptr;
        std::function<QDateTime()> clock;  // now; default the system clock
        quint32 bindAddress = 0;           // network order; default every interface
        // Listen on a port the system picks, whatever the settings say (a test tool that reports its port).
        bool listenOnAnyPort = false;
        // Builds and opens the mapping of a bound port; null: no mapping.
        std::function<std::unique_ptr<PortMapper>(quint16 port)> makePortMapper;
        bool startTimers = true;
    };
    // Calls into the parts of the engine that are not wired yet; each may stay empty.
    struct Hooks
    {
        // Accepted incoming connection (descriptor, IPv4 address and port in network order); false
        // refuses it and the descriptor is closed.
        std::function<bool(int fd, quint32 address, quint16 port)> acceptIncomingPeer;
        // Torrents' values, end of seeding, the transfers statistics and bound texts.
        std::function<void()> oneSecondWork;
        std::function<void()> twoSecondWork;      // the watch folder
        std::function<void()> saveAtTermination;  // state files and peers databases, in list order
    };

    static constexpr int kMaxPeers = 50;
    static constexpr int kTickMs = 100;

    // The engine of the process, built on first use and never torn down: with the parts given to
    // useParts() before that, else with the default parts.
    static BTCore& instance();
    static void useParts(Parts parts);
    static Parts defaultParts();

    explicit BTCore(Parts parts, QObject* parent = nullptr);
    ~BTCore() override;

    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    // The port the user chose ("kRandomPort" on: the random one, else "kBTPort"); 0 with listenOnAnyPort.
    quint16 configuredPort() const;
    // The port actually bound, or the configured one while nothing is bound.
    quint16 privatePort() const;
    // The mapping's public port when mapped, else privatePort.
    quint16 publicPort() const;
    void updateRandomPort();
    quint16 randomPort() const { return m_randomPort; }
    // Rebinds both sockets unless they are bound to the configured port (any port for 0) already.
    void updatePort();
    void updatePortMapStatus();
    bool isListening() const;
    int udpSocket() const;
    PortMapper* portMapper() const { return m_portMapper.get(); }
    int maxPeers() const { return kMaxPeers; }

    // Recomputes the global budgets from the settings, the daily window and the idle time.
    void updateLimits();
    bool limitsLifted() const { return m_windowLifted || m_idleLifted; }
    // Strictly inside [start, end] at minute precision of the bounds; a window whose end is before its
    // start crosses midnight; start equal to end never lifts.
    static bool isInsideWindow(QTime start, QTime end, QTime now);

    // Raises the soft open-file limit to min(10240, hard); never touches the hard limit.
    static void raiseOpenFileLimit();

    void oneTenthSecondTimer();
    void oneSecondTimer();
    void twoSecondTimer();
    void applicationWillTerminate();
    void didWakeNotification();

signals:
    // The DHT's socket changed (-1: none).
    void udpSocketChanged(int fd);

private:
    void applyLimits();
    void settingChanged(const QString& key);

    Parts m_parts;
    Hooks m_hooks;
    std::unique_ptr<ListeningPorts> m_ports;
    std::unique_ptr<PortMapper> m_portMapper;
    bool m_isMapped = false;
    quint16 m_randomPort = 0;
    int m_fractions = 0;
    bool m_windowLifted = false;
    bool m_idleLifted = false;
    std::unique_ptr<IdleTime> m_ownIdleTime;
    std::unique_ptr<SleepWatcher> m_ownSleepWatcher;
    QTimer* m_tenthTimer = nullptr;
    QTimer* m_twoSecondTimer = nullptr;
    QTimer* m_limitsTimer = nullptr;
};

}  // namespace ombrelay
