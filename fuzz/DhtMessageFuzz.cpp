// DHT datagrams: KRPC messages with their compact node and peer lists.
#include "engine/dht/DHTMessage.h"
#include "engine/dht/DHTNode.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdlib>

using namespace ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;

    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto message = DHTMessage::parse(datagram)) {
        if (message->transactionID.isEmpty())
            std::abort();
        if (message->compactPeers.size() % DHTMessage::kCompactPeerSize != 0)
            std::abort();
        if (message->nodes.size() > DHTMessage::kMaxNodesPerReply)
            std::abort();
        for (const DHTNodeInfo& node : message->nodes)
            if (!isUsableNodeEndpoint(node.endpoint))
                std::abort();
        if (message->type == DHTMessage::Type::Query && !(message->nodes.isEmpty() && message->compactPeers.isEmpty()))
            std::abort();
    }

    // The raw bytes as a "nodes" value too.
    const QList<DHTNodeInfo> nodes = DHTMessage::nodesFromCompactNodeData(datagram);
    if (!nodes.isEmpty() && datagram.size() % DHTMessage::kCompactNodeSize != 0)
        std::abort();
    return 0;
}
