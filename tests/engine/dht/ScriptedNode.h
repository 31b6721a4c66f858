#pragma once

#include "DhtTestHelpers.h"
#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"
#include "engine/dht/DHTSocket.h"
#include "support/WaitUntil.h"

#include <QRandomGenerator>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>

namespace ombrelay::dhttest {

// A KRPC node on loopback whose answers the test scripts: `answer` gets each query and gives the "r"
// dictionary to reply with (its "id" is filled in), or a null value for no reply.
class ScriptedNode
{
public:
    explicit ScriptedNode(const char* address = "127.0.0.1")
        : m_socket(DHTSocket::bind(inet_addr(address), 0))
    {
        QByteArray bytes(20, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), 5);
        id = *DHTIdentifier::fromData(bytes);
        QObject::connect(m_socket.get(), &DHTSocket::datagramReceived, m_socket.get(),
                         [this](const QByteArray& datagram, const DhtNodeAddress& from) { receive(datagram, from); });
    }

    DhtNodeAddress endpoint() const { return DhtNodeAddress{boundAddress(), m_socket->localPort()}; }
    void send(const QByteArray& datagram, const DhtNodeAddress& to) { m_socket->send(datagram, to); }
    int count(const QByteArray& queryName) const
    {
        int n = 0;
        for (const BValue& q : queries)
            n += q["q"].asBytes() == queryName;
        return n;
    }

    static QByteArray replyDatagram(const DHTIdentifier& id, BValue r, const QByteArray& t)
    {
        r.insert("id", id.data());
        return Bencoder::bencodingForObject(BValue::Dict{{"r", std::move(r)}, {"t", t}, {"y", "r"}});
    }

    DHTIdentifier id;
    std::function<BValue(const BValue& query, const DhtNodeAddress& from)> answer;
    QList<BValue> queries;
    QList<BValue> replies;

private:
    quint32 boundAddress() const
    {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        getsockname(m_socket->descriptor(), reinterpret_cast<sockaddr*>(&local), &length);
        return local.sin_addr.s_addr;
    }

    void receive(const QByteArray& datagram, const DhtNodeAddress& from)
    {
        const BValue message = Bdecoder(datagram, Bdecoder::kDatagramLimit).takeObject();
        if (message["y"].asBytes() == "r") {
            replies.append(message);
            return;
        }
        if (message["y"].asBytes() != "q")
            return;
        queries.append(message);
        if (!answer)
            return;
        BValue r = answer(message, from);
        if (r.isDict())
            send(replyDatagram(id, std::move(r), message["t"].asBytes()), from);
    }

    std::unique_ptr<DHTSocket> m_socket;
};

using test::waitUntil;

// An identifier at the given XOR distance from the target.
inline DHTIdentifier atDistance(const DHTIdentifier& target, quint32 distance)
{
    QByteArray bytes(20, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[19 - i] = char(distance >> (8 * i));
    return target.distanceTo(*DHTIdentifier::fromData(bytes));
}

}  // namespace ombrelay::dhttest
