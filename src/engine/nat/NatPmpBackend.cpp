#include "engine/nat/NatPmpBackend.h"

#include "engine/nat/PortMappingError.h"

#include <QDeadlineTimer>
#include <natpmp.h>
#include <poll.h>

namespace ombrelay {

namespace {

qint32 errorFromNatPmp(int result)
{
    switch (result) {
    case NATPMP_ERR_CANNOTGETGATEWAY:
        return PortMappingError::NoRouter;
    case NATPMP_ERR_NOGATEWAYSUPPORT:
    case NATPMP_ERR_UNSUPPORTEDVERSION:
    case NATPMP_ERR_UNSUPPORTEDOPCODE:
        return PortMappingError::Unsupported;
    case NATPMP_ERR_NOTAUTHORIZED:
        return PortMappingError::Disabled;
    default:
        return PortMappingError::Unknown;
    }
}

// One NAT-PMP socket to the default gateway; each exchange sends a request and waits, bounded, for
// the answer that matches it.
class Session
{
public:
    explicit Session(int answerWaitMs) : m_answerWaitMs(answerWaitMs)
    {
        m_opened = initnatpmp(&m_natpmp, 0, 0);
    }
    ~Session()
    {
        if (m_opened == 0)
            closenatpmp(&m_natpmp);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int openResult() const { return m_opened; }

    int askPublicAddress(in_addr* address)
    {
        natpmpresp_t answer{};
        const int result =
            exchange(sendpublicaddressrequest(&m_natpmp), NATPMP_RESPTYPE_PUBLICADDRESS, 0, &answer);
        if (result == 0)
            *address = answer.pnu.publicaddress.addr;
        return result;
    }

    // Asks for `publicPort` (0: any); a lifetime of 0 removes the mapping.
    int askMapping(int protocol, quint16 privatePort, quint16 publicPort, quint32 lifetime,
                   quint16* grantedPort, quint32* grantedLifetime)
    {
        natpmpresp_t answer{};
        const int sent = sendnewportmappingrequest(&m_natpmp, protocol, privatePort, publicPort, lifetime);
        const int type =
            protocol == NATPMP_PROTOCOL_TCP ? NATPMP_RESPTYPE_TCPPORTMAPPING : NATPMP_RESPTYPE_UDPPORTMAPPING;
        const int result = exchange(sent, type, privatePort, &answer);
        if (result == 0) {
            *grantedPort = answer.pnu.newportmapping.mappedpublicport;
            *grantedLifetime = answer.pnu.newportmapping.lifetime;
        }
        return result;
    }

private:
    int exchange(int sendResult, int expectedType, quint16 privatePort, natpmpresp_t* answer)
    {
        if (sendResult < 0)
            return sendResult;
        QDeadlineTimer deadline(m_answerWaitMs);
        while (!deadline.hasExpired()) {
            timeval untilRetry{};
            int waitMs = int(deadline.remainingTime());
            if (getnatpmprequesttimeout(&m_natpmp, &untilRetry) == 0)
                waitMs = qBound(0, int(untilRetry.tv_sec * 1000 + untilRetry.tv_usec / 1000), waitMs);
            pollfd socket{m_natpmp.s, POLLIN, 0};
            poll(&socket, 1, waitMs);
            const int result = readnatpmpresponseorretry(&m_natpmp, answer);
            if (result == NATPMP_TRYAGAIN)
                continue;
            if (result < 0)
                return result;
            // A late answer to an earlier request is not this one's.
            const bool matches =
                answer->type == expectedType && (expectedType == NATPMP_RESPTYPE_PUBLICADDRESS ||
                                                 answer->pnu.newportmapping.privateport == privatePort);
            if (matches)
                return 0;
        }
        return NATPMP_ERR_NOGATEWAYSUPPORT;
    }

    natpmp_t m_natpmp{};
    int m_opened = -1;
    int m_answerWaitMs;
};

} // namespace

NatPmpBackend::NatPmpBackend(int answerWaitMs) : m_answerWaitMs(answerWaitMs) {}

QString NatPmpBackend::name() const
{
    return QStringLiteral("NAT-PMP");
}

PortMapping NatPmpBackend::map(const PortMappingRequest& request)
{
    PortMapping mapping;
    Session session(m_answerWaitMs);
    if (session.openResult() < 0) {
        mapping.error = errorFromNatPmp(session.openResult());
        return mapping;
    }
    in_addr address{};
    if (const int result = session.askPublicAddress(&address); result < 0) {
        mapping.error = errorFromNatPmp(result);
        return mapping;
    }
    mapping.publicAddress = address.s_addr;

    quint32 lifetime = UINT32_MAX;
    quint16 tcpPort = 0;
    quint16 wantedPort = request.desiredPublicPort;
    if (request.tcp) {
        const int result = session.askMapping(NATPMP_PROTOCOL_TCP, request.privatePort, wantedPort,
                                              request.lifetimeSeconds, &tcpPort, &lifetime);
        if (result < 0) {
            mapping.error = errorFromNatPmp(result);
            return mapping;
        }
        if (tcpPort == 0)
            return mapping; // mapped nothing: the caller judges a public port of 0
        wantedPort = tcpPort;
    }
    quint16 udpPort = 0;
    if (request.udp) {
        quint32 udpLifetime = 0;
        const int result = session.askMapping(NATPMP_PROTOCOL_UDP, request.privatePort, wantedPort,
                                              request.lifetimeSeconds, &udpPort, &udpLifetime);
        lifetime = qMin(lifetime, udpLifetime);
        const bool samePort = !request.tcp || udpPort == tcpPort;
        if (result < 0 || !samePort) {
            if (result == 0)
                qWarning("*** NAT-PMP: the gateway gave TCP port %u but UDP port %u", tcpPort, udpPort);
            unmap(request, {});
            mapping.error = result < 0 ? errorFromNatPmp(result) : PortMappingError::Unknown;
            return mapping;
        }
    }
    mapping.publicPort = request.tcp ? tcpPort : udpPort;
    mapping.lifetimeSeconds = (request.tcp || request.udp) ? lifetime : 0;
    return mapping;
}

void NatPmpBackend::unmap(const PortMappingRequest& request, const PortMapping&)
{
    Session session(m_answerWaitMs);
    if (session.openResult() < 0)
        return;
    quint16 port = 0;
    quint32 lifetime = 0;
    if (request.tcp)
        session.askMapping(NATPMP_PROTOCOL_TCP, request.privatePort, 0, 0, &port, &lifetime);
    if (request.udp)
        session.askMapping(NATPMP_PROTOCOL_UDP, request.privatePort, 0, 0, &port, &lifetime);
}

} // namespace ombrelay
