#pragma once

#include "engine/nat/MappingTimer.h"
#include "engine/nat/PortMappingBackend.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ombrelay {

// "%u.%u.%u.%u" of an IPv4 address in network order; null for 0.
QString stringFromIPv4Addr(quint32 networkOrder);

// Keeps a port of ours mapped on the NAT gateway, TCP and UDP on one public port, and reports the public
// address, port and error through the notification "PortMapperChanged" (object: the mapper) after every
// answer, changed or not. Gateways are asked on a worker thread; answers, time-outs and renewals happen
// on the main thread. A granted mapping is renewed at half its lifetime and removed by close(), by
// destruction and when the application quits.
class PortMapper : public QObject
{
    Q_OBJECT

public:
    // What a mapper talks and waits through; tests put in fakes.
    struct Parts
    {
        std::vector<std::shared_ptr<PortMappingBackend>> backends; // asked in order; the first to map wins
        std::function<std::unique_ptr<MappingTimer>()> makeTimer;
        std::function<quint32()> localAddress; // network order
    };
    static Parts defaultParts(); // NAT-PMP, then UPnP IGD

    static constexpr int kAnswerTimeoutMs = 10'000;
    static constexpr int kRetryAfterFailureMs = 300'000;
    static constexpr quint32 kRequestedLifetimeSeconds = 3600;

    explicit PortMapper(quint16 port, QObject* parent = nullptr);
    PortMapper(quint16 port, Parts parts, QObject* parent = nullptr);
    ~PortMapper() override;

    void setMapTCP(bool map) { m_mapTCP = map; }
    bool mapTCP() const { return m_mapTCP; }
    void setMapUDP(bool map) { m_mapUDP = map; }
    bool mapUDP() const { return m_mapUDP; }
    void setDesiredPublicPort(quint16 port) { m_desiredPublicPort = port; } // 0: the gateway chooses
    quint16 desiredPublicPort() const { return m_desiredPublicPort; }

    // Starts mapping; true when a request is under way. Its outcome arrives as "PortMapperChanged",
    // within kAnswerTimeoutMs (a time-out is reported as PortMappingError::Timeout).
    bool open();
    // Stops mapping, removes what was granted, clears the error, the public address and port.
    void close();
    bool isOpen() const { return m_open; }

    // A public port is granted on a public address other than the local one.
    bool isMapped() const;

    quint16 port() const { return m_port; }
    QString publicAddress() const { return m_publicAddress; }
    quint32 rawPublicAddress() const { return m_rawPublicAddress; } // network order; 0: none
    quint16 publicPort() const { return m_publicPort; }
    qint32 error() const { return m_error; } // PortMappingError

    static quint32 rawLocalAddress(); // the first interface up that is not loopback; network order; 0: none
    static QString localAddress();
    static bool localAddressIsPrivate();
    static bool isPrivateAddress(quint32 networkOrder);

    // Asks the gateway for its public address alone; `done` gets it, or a null text, on the main thread
    // within kAnswerTimeoutMs, unless `context` is destroyed first.
    static void findPublicAddress(QObject* context, std::function<void(const QString&)> done);
    static void findPublicAddress(QObject* context, Parts parts, std::function<void(const QString&)> done);

private:
    struct Request;
    // What a request brought back, and from whom.
    struct Outcome
    {
        PortMappingRequest request;
        PortMapping mapping;
        int backend = -1;
    };

    void startRequest();
    void requestFinished(const std::shared_ptr<Request>& request);
    void timedOut();
    void abandonRequest();
    void removeInBackground(const Outcome& outcome) const;
    void portMapStatus(qint32 error, quint32 rawAddress, quint16 port);
    PortMappingRequest mappingRequest(quint16 desiredPort) const;

    const quint16 m_port;
    Parts m_parts;
    std::unique_ptr<MappingTimer> m_timer;
    bool m_mapTCP = true;
    bool m_mapUDP = false;
    quint16 m_desiredPublicPort = 0;
    bool m_open = false;

    std::shared_ptr<Request> m_request; // the request in flight
    std::optional<Outcome> m_granted;   // the mapping to renew and finally remove

    qint32 m_error = 0;
    QString m_publicAddress;
    quint32 m_rawPublicAddress = 0;
    quint16 m_publicPort = 0;
};

} // namespace ombrelay
