#include "engine/core/BTCore.h"

#include <optional>

#include "engine/core/ListeningPorts.h"
#include "engine/core/PeerService.h"
#include "engine/nat/PortMapper.h"
#include "engine/net/BandwidthProvision.h"
#include "engine/net/PZReadStream.h"
#include "engine/net/PZWriteStreamDispatcher.h"
#include "kit/NotificationCenter.h"
#include "kit/Settings.h"
#include "platform/DesktopIdleTime.h"
#include "platform/LogindSleepWatcher.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <sys/resource.h>

namespace ombrelay {
namespace {

constexpr quint16 kFallbackPort = 6881;
constexpr int kFirstLimitsUpdateMs = 5000;
constexpr int kTwoSecondsMs = 2000;
constexpr int kLimitsIntervalMs = 20000;
constexpr rlim_t kWantedOpenFiles = 10240;

qint32 bytesPerSecondFromKilobytes(qint64 kilobytes)
{
    return qint32(std::clamp<qint64>(kilobytes, 0, std::numeric_limits<qint32>::max() / 1000) * 1000);
}

QTimer* repeatingTimer(QObject* owner, int intervalMs, std::function<void()> fire)
{
    auto* timer = new QTimer(owner);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, owner, std::move(fire));
    timer->start();
    return timer;
}

}  // namespace

namespace {
std::optional<BTCore::Parts>& chosenParts()
{
    static std::optional<BTCore::Parts> parts;
    return parts;
}
}  // namespace

BTCore& BTCore::instance()
{
    static BTCore* core = new BTCore(chosenParts().value_or(defaultParts()));  // lives as long as the process
    return *core;
}

void BTCore::useParts(Parts parts)
{
    chosenParts() = std::move(parts);
}

BTCore::Parts BTCore::defaultParts()
{
    Parts parts;
    parts.makePortMapper = [](quint16 port) {
        auto mapper = std::make_unique<PortMapper>(port);
        mapper->setMapTCP(true);
        mapper->setMapUDP(true);
        mapper->setDesiredPublicPort(port);
        mapper->open();
        return mapper;
    };
    return parts;
}

BTCore::BTCore(Parts parts, QObject* parent) : QObject(parent), m_parts(std::move(parts))
{
    if (!m_parts.settings)
        m_parts.settings = &Settings::instance();
    if (!m_parts.idleTime) {
        auto* idle = new DesktopIdleTime;
        m_ownIdleTime.reset(idle);
        m_parts.idleTime = idle;
    }
    if (!m_parts.sleepWatcher) {
        m_ownSleepWatcher = std::make_unique<LogindSleepWatcher>();
        m_parts.sleepWatcher = m_ownSleepWatcher.get();
    }
    if (!m_parts.clock)
        m_parts.clock = [] { return QDateTime::currentDateTime(); };

    m_ports = std::make_unique<ListeningPorts>();
    m_ports->setAcceptHandler([this](int fd, quint32 address, quint16 port) {
        return m_hooks.acceptIncomingPeer && m_hooks.acceptIncomingPeer(fd, address, port);
    });
    updateRandomPort();
    updatePort();

    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &BTCore::applicationWillTerminate);
    listenForNotification(this, QStringLiteral("PortMapperChanged"), [this](const Notification&) {
        updatePortMapStatus();
    });
    connect(m_parts.sleepWatcher, &SleepWatcher::didWake, this, &BTCore::didWakeNotification);
    raiseOpenFileLimit();
    connect(m_parts.settings, &Settings::changed, this, &BTCore::settingChanged);

    // The limits hold from the start; the idle time and the daily window are first asked later.
    applyLimits();
    if (m_parts.startTimers) {
        QTimer::singleShot(kFirstLimitsUpdateMs, this, &BTCore::updateLimits);
        m_tenthTimer = repeatingTimer(this, kTickMs, [this] { oneTenthSecondTimer(); });
        m_twoSecondTimer = repeatingTimer(this, kTwoSecondsMs, [this] { twoSecondTimer(); });
        m_limitsTimer = repeatingTimer(this, kLimitsIntervalMs, [this] { updateLimits(); });
    }
}

BTCore::~BTCore()
{
    stopListening(this);
}

quint16 BTCore::configuredPort() const
{
    if (m_parts.listenOnAnyPort)
        return 0;
    if (m_parts.settings->boolean(QStringLiteral("kRandomPort")))
        return m_randomPort;
    const qint64 port = m_parts.settings->integer(QStringLiteral("kBTPort"));
    return port >= 1 && port <= 65535 ? quint16(port) : kFallbackPort;
}

quint16 BTCore::privatePort() const
{
    return m_ports->isBound() ? m_ports->port() : configuredPort();
}

quint16 BTCore::publicPort() const
{
    if (m_portMapper && m_isMapped && m_portMapper->publicPort() != 0)
        return m_portMapper->publicPort();
    return privatePort();
}

void BTCore::updateRandomPort()
{
    m_randomPort = quint16(QRandomGenerator::global()->generate() % 64510 + 1025);
}

void BTCore::updatePort()
{
    const quint16 wanted = configuredPort();
    if (m_ports->isBound() && (wanted == 0 || m_ports->port() == wanted))
        return;
    m_portMapper.reset();
    m_isMapped = false;
    m_ports->bind(wanted, m_parts.bindAddress);
    emit udpSocketChanged(m_ports->udpDescriptor());
    if (m_ports->isBound() && m_parts.makePortMapper)
        m_portMapper = m_parts.makePortMapper(m_ports->port());
}

void BTCore::updatePortMapStatus()
{
    m_isMapped = m_portMapper && m_portMapper->isMapped();
}

bool BTCore::isListening() const
{
    return m_ports->isBound();
}

int BTCore::udpSocket() const
{
    return m_ports->udpDescriptor();
}

bool BTCore::isInsideWindow(QTime start, QTime end, QTime now)
{
    if (!start.isValid() || !end.isValid() || !now.isValid())
        return false;
    start = QTime(start.hour(), start.minute());
    end = QTime(end.hour(), end.minute());
    if (end < start)
        return now < end || now > start;
    return now > start && now < end;
}

void BTCore::updateLimits()
{
    Settings& settings = *m_parts.settings;
    // The stored times are read in UTC; their hour and minute apply to the local day.
    m_windowLifted = settings.boolean(QStringLiteral("kDisableLimits"))
        && isInsideWindow(settings.timeOfDay(QStringLiteral("kDisableStartTime")),
                          settings.timeOfDay(QStringLiteral("kDisableEndTime")),
                          m_parts.clock().toLocalTime().time());
    if (!settings.boolean(QStringLiteral("kDisableLimitsIdle"))) {
        m_idleLifted = false;
        applyLimits();
        return;
    }
    applyLimits();  // with the last idle answer until the new one comes
    const qint64 threshold = settings.integer(QStringLiteral("kDisableIdleTime")) * 60;
    m_parts.idleTime->querySecondsSinceInput(this, [this, threshold](qint64 seconds) {
        m_idleLifted = seconds > threshold;
        applyLimits();
    });
}

void BTCore::applyLimits()
{
    const Settings& settings = *m_parts.settings;
    const bool lifted = limitsLifted();
    BandwidthProvision& download = BandwidthProvision::globalDownloadProvision();
    download.setBytesPerSecond(bytesPerSecondFromKilobytes(settings.integer(QStringLiteral("kDownloadLimit"))));
    download.setIsEnabled(!lifted && settings.boolean(QStringLiteral("kDownloadLimitEnabled")));
    BandwidthProvision& upload = BandwidthProvision::globalUploadProvision();
    upload.setBytesPerSecond(bytesPerSecondFromKilobytes(settings.integer(QStringLiteral("kUploadLimit"))));
    upload.setIsEnabled(!lifted && settings.boolean(QStringLiteral("kUploadLimitEnabled")));
}

void BTCore::settingChanged(const QString& key)
{
    if (key == QLatin1String("kBTPort"))
        updatePort();
    else if (key == QLatin1String("kDownloadLimitEnabled") || key == QLatin1String("kDownloadLimit")
             || key == QLatin1String("kUploadLimitEnabled") || key == QLatin1String("kUploadLimit"))
        updateLimits();
}

void BTCore::raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? kWantedOpenFiles : std::min(kWantedOpenFiles, limit.rlim_max);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    std::fprintf(stderr, "getrlimit: %lld, %lld\n", static_cast<long long>(limit.rlim_cur),
                 static_cast<long long>(limit.rlim_max));
}

void BTCore::oneTenthSecondTimer()
{
    if (++m_fractions >= 10) {
        m_fractions = 0;
        oneSecondTimer();
    }
    BandwidthProvision::updateAll();
    PZWriteStreamDispatcher::instance().flushStreams();
    PZReadStream::updateAllStreams();
}

void BTCore::oneSecondTimer()
{
    if (m_hooks.oneSecondWork)
        m_hooks.oneSecondWork();
    postNotificationAboutSelf(this, QStringLiteral("CoreOneSecondTimer"));
}

void BTCore::twoSecondTimer()
{
    if (m_hooks.twoSecondWork)
        m_hooks.twoSecondWork();
}

void BTCore::applicationWillTerminate()
{
    if (m_hooks.saveAtTermination)
        m_hooks.saveAtTermination();
}

void BTCore::didWakeNotification()
{
    PeerService::instance().connectToPeers();
}

}  // namespace ombrelay
