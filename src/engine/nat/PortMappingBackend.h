#pragma once

#include <QByteArrayList>
#include <QString>
#include <QtGlobal>

namespace ombrelay {

struct PortMappingRequest
{
    quint16 privatePort = 0;
    quint16 desiredPublicPort = 0; // 0: the gateway chooses
    bool tcp = false;
    bool udp = false;
    quint32 lifetimeSeconds = 3600;
};

// A gateway's answer. With neither protocol asked for, it carries the public address alone.
struct PortMapping
{
    qint32 error = 0;          // PortMappingError
    quint32 publicAddress = 0; // IPv4, network order; 0: unknown
    quint16 publicPort = 0;    // the same for TCP and UDP
    quint32 lifetimeSeconds = 0;
    QByteArrayList gatewayNote; // what the back end needs to remove the mapping again
};

// One port-mapping protocol. Calls block for a few seconds at most and run on a worker thread;
// an implementation keeps no state between calls.
class PortMappingBackend
{
public:
    virtual ~PortMappingBackend() = default;
    virtual QString name() const = 0;
    virtual PortMapping map(const PortMappingRequest& request) = 0;
    virtual void unmap(const PortMappingRequest& request, const PortMapping& granted) = 0;
};

} // namespace ombrelay
