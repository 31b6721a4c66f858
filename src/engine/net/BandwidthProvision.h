#pragma once

#include <QtGlobal>
#include <vector>

namespace ombrelay {

// A byte budget refilled every 0.1 s: how much a torrent, or the whole process, may read or write in the
// current slice. A disabled budget is never consumed and always shows 4096 bytes. For a torrent's budget a
// negative rate exempts the torrent from every limit, the global ones included. Main thread only.
class BandwidthProvision
{
public:
    static constexpr qint32 kDisabledAllowance = 4096;

    BandwidthProvision();
    ~BandwidthProvision();
    BandwidthProvision(const BandwidthProvision&) = delete;
    BandwidthProvision& operator=(const BandwidthProvision&) = delete;

    // Starts a new slice: a tenth of the rate when enabled, else 4096. Nothing carries over.
    void bandwidthProvisionUpdate();
    void consumedBytes(quint32 n);

    // A torrent's custom limit in kB/s: 0 the global limit applies, -1 no limit at all (exempt),
    // n > 0 a limit of n x 1000 bytes per second. Refills at once.
    void setCustomLimit(qint64 limit);

    bool isEnabled() const { return m_enabled; }
    void setIsEnabled(bool enabled) { m_enabled = enabled; }
    qint32 bytesPerSecond() const { return m_bytesPerSecond; }
    void setBytesPerSecond(qint32 rate) { m_bytesPerSecond = rate; }
    qint32 bytesAvailableForConsumption() const { return m_available; }
    void setBytesAvailableForConsumption(qint32 bytes) { m_available = bytes; }
    bool isExempt() const { return m_bytesPerSecond < 0; }

    // Every live budget, in creation order; the engine refills them all at the start of each 0.1 s tick.
    static const std::vector<BandwidthProvision*>& allObjects();
    static void updateAll();
    static BandwidthProvision& globalDownloadProvision();
    static BandwidthProvision& globalUploadProvision();

private:
    bool m_enabled = false;
    qint32 m_bytesPerSecond = 0;
    qint32 m_available = kDisabledAllowance;
};

}  // namespace ombrelay
