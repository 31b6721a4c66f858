#include "engine/nat/PortMapper.h"

#include "engine/nat/NatPmpBackend.h"
#include "engine/nat/PortMappingError.h"
#include "engine/nat/UpnpIgdBackend.h"
#include "kit/NotificationCenter.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThreadPool>
#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

namespace ombrelay {

namespace {

using Backends = std::vector<std::shared_ptr<PortMappingBackend>>;

constexpr int kShortestRenewalMs = 60'000;
constexpr int kLongestRenewalMs = 12 * 3600'000;
constexpr int kQuitRemovalBudgetMs = 5'000;

// Gateway work runs here, one job at a time, so a removal never overtakes the mapping it removes.
QThreadPool& mappingPool()
{
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

// How far a back end got: a gateway that answered says more than one that was not there.
int progressOf(qint32 error)
{
    if (error == PortMappingError::NoRouter)
        return 0;
    if (error == PortMappingError::Unsupported)
        return 1;
    return 2;
}

} // namespace

// A request in flight. The worker hands its outcome over to the receiver; once the mapper has let the
// request go, whoever holds a granted mapping nobody wants removes it.
struct PortMapper::Request
{
    QMutex mutex;
    PortMapper* receiver = nullptr; // null once abandoned
    std::optional<Outcome> outcome;
};

QString stringFromIPv4Addr(quint32 networkOrder)
{
    if (networkOrder == 0)
        return {};
    const quint32 a = ntohl(networkOrder);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 0xFF)
        .arg((a >> 8) & 0xFF)
        .arg(a & 0xFF);
}

PortMapper::Parts PortMapper::defaultParts()
{
    return Parts{{std::make_shared<NatPmpBackend>(), std::make_shared<UpnpIgdBackend>()},
                 makeEventLoopMappingTimer,
                 &PortMapper::rawLocalAddress};
}

PortMapper::PortMapper(quint16 port, QObject* parent) : PortMapper(port, defaultParts(), parent) {}

PortMapper::PortMapper(quint16 port, Parts parts, QObject* parent)
    : QObject(parent), m_port(port), m_parts(std::move(parts)), m_timer(m_parts.makeTimer())
{
    // Quitting leaves the gateway as it found it, waiting a bounded time for the removal.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            close();
            mappingPool().waitForDone(kQuitRemovalBudgetMs);
        });
    }
}

PortMapper::~PortMapper()
{
    close();
}

bool PortMapper::open()
{
    if (m_open) {
        qWarning("*** PortMapper: Already open");
        return false;
    }
    if (m_parts.backends.empty()) {
        m_error = PortMappingError::Unknown;
        return false;
    }
    m_open = true;
    m_error = PortMappingError::NoError;
    startRequest();
    return true;
}

void PortMapper::close()
{
    m_timer->stop();
    abandonRequest();
    if (m_granted) {
        removeInBackground(*m_granted);
        m_granted.reset();
    }
    m_open = false;
    m_error = PortMappingError::NoError;
    m_rawPublicAddress = 0;
    m_publicAddress.clear();
    m_publicPort = 0;
}

bool PortMapper::isMapped() const
{
    return m_error == PortMappingError::NoError && m_rawPublicAddress != 0 && m_publicPort != 0 &&
           m_rawPublicAddress != m_parts.localAddress() && !isPrivateAddress(m_rawPublicAddress);
}

PortMappingRequest PortMapper::mappingRequest(quint16 desiredPort) const
{
    return PortMappingRequest{m_port, desiredPort, m_mapTCP, m_mapUDP, kRequestedLifetimeSeconds};
}

void PortMapper::startRequest()
{
    abandonRequest();
    // A renewal asks for the port it holds.
    const quint16 desiredPort = m_granted ? m_granted->mapping.publicPort : m_desiredPublicPort;
    const PortMappingRequest wanted = mappingRequest(desiredPort);
    const int preferred = m_granted ? m_granted->backend : 0;

    auto request = std::make_shared<Request>();
    request->receiver = this;
    m_request = request;
    m_timer->start(kAnswerTimeoutMs, [this] { timedOut(); });

    const Backends backends = m_parts.backends;
    mappingPool().start([backends, wanted, preferred, request] {
        Outcome outcome{wanted, {}, -1};
        outcome.mapping.error = PortMappingError::NoRouter;
        for (size_t i = 0; i < backends.size(); ++i) {
            const int index = int((size_t(preferred) + i) % backends.size());
            PortMapping mapping = backends[size_t(index)]->map(wanted);
            if (i == 0 || progressOf(mapping.error) > progressOf(outcome.mapping.error))
                outcome = Outcome{wanted, mapping, index};
            if (mapping.error == PortMappingError::NoError)
                break;
        }
        QMutexLocker lock(&request->mutex);
        request->outcome = outcome;
        if (PortMapper* receiver = request->receiver) {
            QMetaObject::invokeMethod(
                receiver, [receiver, request] { receiver->requestFinished(request); }, Qt::QueuedConnection);
            return;
        }
        lock.unlock();
        if (outcome.mapping.error == PortMappingError::NoError)
            backends[size_t(outcome.backend)]->unmap(outcome.request, outcome.mapping);
    });
}

void PortMapper::abandonRequest()
{
    if (!m_request)
        return;
    std::optional<Outcome> handedOver;
    {
        QMutexLocker lock(&m_request->mutex);
        m_request->receiver = nullptr;
        handedOver = m_request->outcome;
    }
    m_request.reset();
    if (handedOver && handedOver->mapping.error == PortMappingError::NoError)
        removeInBackground(*handedOver);
}

void PortMapper::removeInBackground(const Outcome& outcome) const
{
    if (outcome.backend < 0 || (!outcome.request.tcp && !outcome.request.udp))
        return;
    const std::shared_ptr<PortMappingBackend> backend = m_parts.backends[size_t(outcome.backend)];
    mappingPool().start([backend, outcome] { backend->unmap(outcome.request, outcome.mapping); });
}

void PortMapper::requestFinished(const std::shared_ptr<Request>& request)
{
    if (request != m_request)
        return; // let go of already; its mapping is being removed
    m_request.reset();
    const Outcome outcome = *request->outcome;
    const PortMapping& mapping = outcome.mapping;
    const bool asksForPorts = outcome.request.tcp || outcome.request.udp;
    const bool granted =
        mapping.error == PortMappingError::NoError && (mapping.publicPort != 0 || !asksForPorts);

    if (granted) {
        m_granted = outcome;
        const qint64 halfLifetimeMs = qint64(mapping.lifetimeSeconds) * 500;
        m_timer->start(int(std::clamp<qint64>(halfLifetimeMs, kShortestRenewalMs, kLongestRenewalMs)),
                       [this] { startRequest(); });
        if (asksForPorts)
            qWarning("PortMapper: port %u mapped to %s:%u by %s for %u s", m_port,
                     qPrintable(stringFromIPv4Addr(mapping.publicAddress)), mapping.publicPort,
                     qPrintable(m_parts.backends[size_t(outcome.backend)]->name()), mapping.lifetimeSeconds);
    } else {
        m_timer->start(kRetryAfterFailureMs, [this] { startRequest(); });
    }
    portMapStatus(mapping.error, mapping.publicAddress, mapping.publicPort);
    if (!granted)
        qWarning("*** PortMapper: the gateway mapped no public port for port %u (error %d)", m_port,
                 int(m_error));
}

void PortMapper::timedOut()
{
    // The request stays in flight: a late answer is still taken.
    qWarning("*** PortMapper: no answer from the gateway for port %u within %d s", m_port,
             kAnswerTimeoutMs / 1000);
    m_timer->start(kRetryAfterFailureMs, [this] { startRequest(); });
    portMapStatus(PortMappingError::Timeout, 0, 0);
}

void PortMapper::portMapStatus(qint32 error, quint32 rawAddress, quint16 port)
{
    if (error == PortMappingError::NoError && port == 0 && m_desiredPublicPort != 0 && (m_mapTCP || m_mapUDP))
        error = PortMappingError::Unsupported;
    m_error = error;
    if (rawAddress != m_rawPublicAddress) {
        m_rawPublicAddress = rawAddress;
        m_publicAddress = stringFromIPv4Addr(rawAddress);
    }
    m_publicPort = port;
    postNotificationAboutSelf(this, QStringLiteral("PortMapperChanged"));
}

quint32 PortMapper::rawLocalAddress()
{
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return 0;
    quint32 address = 0;
    for (const ifaddrs* i = interfaces; i && address == 0; i = i->ifa_next) {
        const bool candidate = i->ifa_addr && i->ifa_addr->sa_family == AF_INET && (i->ifa_flags & IFF_UP) &&
                               !(i->ifa_flags & IFF_LOOPBACK);
        if (candidate)
            address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
    }
    freeifaddrs(interfaces);
    return address;
}

QString PortMapper::localAddress()
{
    return stringFromIPv4Addr(rawLocalAddress());
}

bool PortMapper::localAddressIsPrivate()
{
    return isPrivateAddress(rawLocalAddress());
}

bool PortMapper::isPrivateAddress(quint32 networkOrder)
{
    struct Range
    {
        quint32 mask;
        quint32 value;
    };
    static constexpr Range kPrivateRanges[] = {
        {0xFF000000, 0x00000000}, // 0.0.0.0/8
        {0xFF000000, 0x0A000000}, // 10.0.0.0/8
        {0xFFC00000, 0x64400000}, // 100.64.0.0/10, carrier-grade NAT
        {0xFF000000, 0x7F000000}, // 127.0.0.0/8
        {0xFFFF0000, 0xA9FE0000}, // 169.254.0.0/16
        {0xFFF00000, 0xAC100000}, // 172.16.0.0/12
        {0xFFFF0000, 0xC0A80000}, // 192.168.0.0/16
    };
    const quint32 address = ntohl(networkOrder);
    for (const Range& range : kPrivateRanges) {
        if ((address & range.mask) == range.value)
            return true;
    }
    return false;
}

void PortMapper::findPublicAddress(QObject* context, std::function<void(const QString&)> done)
{
    findPublicAddress(context, defaultParts(), std::move(done));
}

void PortMapper::findPublicAddress(QObject* context, Parts parts, std::function<void(const QString&)> done)
{
    auto* probe = new PortMapper(0, std::move(parts), context);
    probe->setMapTCP(false);
    probe->setMapUDP(false);
    listenForNotification(
        probe, QStringLiteral("PortMapperChanged"),
        [probe, done = std::move(done)](const Notification&) {
            const QString address =
                probe->error() == PortMappingError::NoError ? probe->publicAddress() : QString();
            stopListening(probe);
            probe->close();
            probe->deleteLater();
            done(address);
        },
        probe);
    if (!probe->open())
        probe->portMapStatus(probe->error(), 0, 0);
}

} // namespace ombrelay
