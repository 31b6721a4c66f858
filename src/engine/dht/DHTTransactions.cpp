#include "engine/dht/DHTTransactions.h"

#include <QRandomGenerator>

namespace ombrelay {

QByteArray DHTTransactions::add(const DHTTransaction& transaction)
{
    QByteArray id;
    do {
        const quint32 random = QRandomGenerator::global()->generate();
        const QByteArray randomBytes(reinterpret_cast<const char*>(&random), sizeof random);
        switch (transaction.kind) {
        case DHTTransaction::Kind::Ping: id = randomBytes + 'p'; break;
        case DHTTransaction::Kind::FindNode: id = randomBytes + 'f'; break;
        case DHTTransaction::Kind::GetPeers: id = transaction.infoHash + randomBytes; break;
        }
    } while (m_pending.contains(id));
    m_pending.insert(id, transaction);
    return id;
}

std::optional<DHTTransaction> DHTTransactions::take(const QByteArray& transactionID, const DhtNodeAddress& sender)
{
    const auto it = m_pending.constFind(transactionID);
    if (it == m_pending.constEnd() || !(it->destination == sender))
        return std::nullopt;
    DHTTransaction transaction = *it;
    m_pending.erase(it);
    return transaction;
}

void DHTTransactions::sweep()
{
    for (const QByteArray& id : std::as_const(m_seenBySweep))
        m_pending.remove(id);
    m_seenBySweep = m_pending.keys();
}

}  // namespace ombrelay
