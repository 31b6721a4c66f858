#pragma once

#include "engine/nat/PortMappingBackend.h"

namespace ombrelay {

// NAT-PMP with the default gateway. Every exchange gives up after `answerWaitMs` without an answer
// (the library alone would retry for two minutes).
class NatPmpBackend : public PortMappingBackend
{
public:
    explicit NatPmpBackend(int answerWaitMs = 2000);

    QString name() const override;
    PortMapping map(const PortMappingRequest& request) override;
    void unmap(const PortMappingRequest& request, const PortMapping& granted) override;

private:
    int m_answerWaitMs;
};

} // namespace ombrelay
