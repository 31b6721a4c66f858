#include "engine/nat/UpnpIgdBackend.h"

#include "engine/nat/PortMappingError.h"

#include <arpa/inet.h>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

namespace ombrelay {

namespace {

constexpr int kOnlyPermanentLeasesSupported = 725;
constexpr int kActionNotAuthorized = 606;
constexpr char kDescription[] = "Ombrelay";

qint32 errorFromUpnp(int result)
{
    return result == kActionNotAuthorized ? PortMappingError::Disabled : PortMappingError::Unknown;
}

// The gateway found on the local network: its control address and service, and our address as it sees us.
struct Gateway
{
    qint32 error = PortMappingError::NoRouter;
    QByteArray controlUrl;
    QByteArray serviceType;
    QByteArray ourAddress;
};

Gateway findGateway(int discoveryMs)
{
    Gateway gateway;
    int discoveryError = 0;
    UPNPDev* devices =
        upnpDiscover(discoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &discoveryError);
    if (!devices)
        return gateway;
    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[64] = {};
    const int found = UPNP_GetValidIGD(devices, &urls, &data, lanAddress, sizeof lanAddress);
    freeUPNPDevlist(devices);
    if (found == 1 && urls.controlURL) {
        gateway.error = PortMappingError::NoError;
        gateway.controlUrl = urls.controlURL;
        gateway.serviceType = data.first.servicetype;
        gateway.ourAddress = QByteArray(lanAddress, qstrnlen(lanAddress, sizeof lanAddress));
    } else {
        gateway.error = PortMappingError::Unsupported;
    }
    if (found != 0)
        FreeUPNPUrls(&urls);
    return gateway;
}

quint32 externalAddress(const Gateway& gateway)
{
    char text[16] = {};
    if (UPNP_GetExternalIPAddress(gateway.controlUrl.constData(), gateway.serviceType.constData(), text) != 0)
        return 0;
    text[sizeof text - 1] = '\0';
    in_addr address{};
    return inet_pton(AF_INET, text, &address) == 1 ? address.s_addr : 0;
}

int addMapping(const Gateway& gateway, const char* protocol, quint16 publicPort, quint16 privatePort,
               quint32 lifetime)
{
    const QByteArray external = QByteArray::number(publicPort);
    const QByteArray internal = QByteArray::number(privatePort);
    int result =
        UPNP_AddPortMapping(gateway.controlUrl.constData(), gateway.serviceType.constData(),
                            external.constData(), internal.constData(), gateway.ourAddress.constData(),
                            kDescription, protocol, nullptr, QByteArray::number(lifetime).constData());
    if (result == kOnlyPermanentLeasesSupported)
        result = UPNP_AddPortMapping(gateway.controlUrl.constData(), gateway.serviceType.constData(),
                                     external.constData(), internal.constData(),
                                     gateway.ourAddress.constData(), kDescription, protocol, nullptr, "0");
    return result;
}

void deleteMapping(const QByteArray& controlUrl, const QByteArray& serviceType, const char* protocol,
                   quint16 publicPort)
{
    UPNP_DeletePortMapping(controlUrl.constData(), serviceType.constData(),
                           QByteArray::number(publicPort).constData(), protocol, nullptr);
}

} // namespace

UpnpIgdBackend::UpnpIgdBackend(int discoveryMs) : m_discoveryMs(discoveryMs) {}

QString UpnpIgdBackend::name() const
{
    return QStringLiteral("UPnP IGD");
}

PortMapping UpnpIgdBackend::map(const PortMappingRequest& request)
{
    PortMapping mapping;
    const Gateway gateway = findGateway(m_discoveryMs);
    if (gateway.error != PortMappingError::NoError) {
        mapping.error = gateway.error;
        return mapping;
    }
    mapping.publicAddress = externalAddress(gateway);
    if (!request.tcp && !request.udp) {
        if (mapping.publicAddress == 0)
            mapping.error = PortMappingError::Unknown;
        return mapping;
    }

    const quint16 publicPort = request.desiredPublicPort ? request.desiredPublicPort : request.privatePort;
    if (request.tcp) {
        if (const int result =
                addMapping(gateway, "TCP", publicPort, request.privatePort, request.lifetimeSeconds)) {
            mapping.error = errorFromUpnp(result);
            return mapping;
        }
    }
    if (request.udp) {
        if (const int result =
                addMapping(gateway, "UDP", publicPort, request.privatePort, request.lifetimeSeconds)) {
            if (request.tcp)
                deleteMapping(gateway.controlUrl, gateway.serviceType, "TCP", publicPort);
            mapping.error = errorFromUpnp(result);
            return mapping;
        }
    }
    mapping.publicPort = publicPort;
    mapping.lifetimeSeconds = request.lifetimeSeconds;
    mapping.gatewayNote = {gateway.controlUrl, gateway.serviceType};
    return mapping;
}

void UpnpIgdBackend::unmap(const PortMappingRequest& request, const PortMapping& granted)
{
    if (granted.gatewayNote.size() != 2 || granted.publicPort == 0)
        return;
    if (request.tcp)
        deleteMapping(granted.gatewayNote[0], granted.gatewayNote[1], "TCP", granted.publicPort);
    if (request.udp)
        deleteMapping(granted.gatewayNote[0], granted.gatewayNote[1], "UDP", granted.publicPort);
}

} // namespace ombrelay
