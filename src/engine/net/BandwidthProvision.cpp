#include "engine/net/BandwidthProvision.h"

#include <algorithm>
#include <limits>

namespace ombrelay {
namespace {

// Never destroyed, so budgets with static lifetime may leave it at exit in any order.
std::vector<BandwidthProvision*>& registry()
{
    static auto* list = [] {
        auto* v = new std::vector<BandwidthProvision*>;
        v->reserve(100);
        return v;
    }();
    return *list;
}

}  // namespace

BandwidthProvision::BandwidthProvision()
{
    bandwidthProvisionUpdate();
    registry().push_back(this);
}

BandwidthProvision::~BandwidthProvision()
{
    auto& list = registry();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void BandwidthProvision::bandwidthProvisionUpdate()
{
    m_available = m_enabled ? m_bytesPerSecond / 10 : kDisabledAllowance;
}

void BandwidthProvision::consumedBytes(quint32 n)
{
    if (!m_enabled)
        return;
    const qint64 left = qint64(m_available) - qint64(n);
    m_available = qint32(std::max<qint64>(left, std::numeric_limits<qint32>::min()));
}

void BandwidthProvision::setCustomLimit(qint64 limit)
{
    m_enabled = limit >= 1;
    const qint64 rate = std::clamp<qint64>(limit, std::numeric_limits<qint32>::min() / 1000,
                                           std::numeric_limits<qint32>::max() / 1000) * 1000;
    m_bytesPerSecond = qint32(rate);
    bandwidthProvisionUpdate();
}

const std::vector<BandwidthProvision*>& BandwidthProvision::allObjects()
{
    return registry();
}

void BandwidthProvision::updateAll()
{
    for (BandwidthProvision* provision : registry())
        provision->bandwidthProvisionUpdate();
}

BandwidthProvision& BandwidthProvision::globalDownloadProvision()
{
    static BandwidthProvision provision;
    return provision;
}

BandwidthProvision& BandwidthProvision::globalUploadProvision()
{
    static BandwidthProvision provision;
    return provision;
}

}  // namespace ombrelay
