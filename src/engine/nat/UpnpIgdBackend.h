#pragma once

#include "engine/nat/PortMappingBackend.h"

namespace ombrelay {

// UPnP Internet Gateway Device: finds the gateway by SSDP (waiting up to `discoveryMs` for each kind of
// device searched for), then asks it over
// SOAP. Mapping asks for the public port the request desires, else the private port; a gateway that
// only grants permanent leases gets one, and the mapping is renewed all the same.
class UpnpIgdBackend : public PortMappingBackend
{
public:
    explicit UpnpIgdBackend(int discoveryMs = 1000);

    QString name() const override;
    PortMapping map(const PortMappingRequest& request) override;
    void unmap(const PortMappingRequest& request, const PortMapping& granted) override;

private:
    int m_discoveryMs;
};

} // namespace ombrelay
