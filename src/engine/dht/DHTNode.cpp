#include "engine/dht/DHTNode.h"

#include <QDateTime>
#include <QtEndian>

namespace ombrelay {

qint64 DHTNode::now()
{
    return QDateTime::currentSecsSinceEpoch();
}

void DHTNode::noteReplyReceived(qint64 when)
{
    m_lastResponse = when;
    if (m_firstResponse == 0)
        m_firstResponse = when;
    touch(when);
}

bool DHTNode::isGood(qint64 when) const
{
    if (m_lastResponse > 0 && when - m_lastResponse < kGoodSeconds)
        return true;
    return m_firstResponse > 0 && m_lastRequest > 0 && when - m_lastRequest < kGoodSeconds;
}

bool isUsableNodeEndpoint(const DhtNodeAddress& endpoint)
{
    const quint32 address = qFromBigEndian(endpoint.address);
    const quint8 first = quint8(address >> 24);
    return endpoint.port != 0 && first != 0 && first < 224;
}

}  // namespace ombrelay
