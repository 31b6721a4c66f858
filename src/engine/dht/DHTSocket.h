#pragma once

#include "engine/torrent/DhtNodeAddress.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QSocketNotifier;

namespace ombrelay {

// The DHT's UDP socket, read on the main loop. It either uses a socket the engine already bound (and
// leaves it open when done) or binds its own.
class DHTSocket : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxDatagramsPerWake = 256;

    // A bound UDP descriptor owned by the caller; it is made non-blocking.
    explicit DHTSocket(int descriptor, QObject* parent = nullptr);
    ~DHTSocket() override;

    // Binds a socket of its own to the address (network order) and port (0: any free port).
    static std::unique_ptr<DHTSocket> bind(quint32 address, quint16 port, QString* error = nullptr);

    int descriptor() const { return m_descriptor; }
    quint16 localPort() const;
    bool send(const QByteArray& datagram, const DhtNodeAddress& destination);

signals:
    void datagramReceived(const QByteArray& datagram, const DhtNodeAddress& sender);

private:
    void readDatagrams();

    int m_descriptor;
    bool m_ownsDescriptor = false;
    QSocketNotifier* m_notifier;
};

}  // namespace ombrelay
