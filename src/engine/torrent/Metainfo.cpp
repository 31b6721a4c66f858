#include "engine/torrent/Metainfo.h"

#include "engine/bencode/Bdecoder.h"
#include "engine/torrent/PathComponent.h"

#include <QSet>
#include <limits>

namespace ombrelay {
namespace {

constexpr qint64 kMaxPieceLength = qint64(1) << 31;  // exclusive

// A name as the metainfo gives it: the ".utf-8" form when present and a byte string, else the plain key.
const BValue* preferredValue(const BValue& dict, const QByteArray& key)
{
    const BValue* utf8 = dict.find(key + ".utf-8");
    if (utf8 && (utf8->isBytes() || utf8->isList()))
        return utf8;
    return dict.find(key);
}

std::optional<QString> componentFrom(const BValue& value)
{
    if (!value.isBytes())
        return std::nullopt;
    const QString name = PathComponent::shortened(value.asText());
    if (!PathComponent::isPlain(name))
        return std::nullopt;
    return name;
}

// A padding entry: bytes that align the next file to a piece, zeros of no file (its "attr" holds "p").
bool isPadding(const BValue& entry)
{
    const BValue* attr = entry.find("attr");
    return attr && attr->isBytes() && attr->asBytes().contains('p');
}

bool readFiles(const BValue& list, Metainfo& out)
{
    if (!list.isList() || list.asList().empty())
        return false;
    QSet<QString> filePaths;
    QSet<QString> folderPaths;
    qint64 total = 0;
    bool hasContent = false;
    for (const BValue& entry : list.asList()) {
        if (!entry.isDict())
            return false;
        const BValue* path = preferredValue(entry, "path");
        const BValue* length = entry.find("length");
        if (!path || !path->isList() || path->asList().empty() || !length || !length->isInt())
            return false;
        Metainfo::File file;
        file.length = length->asInt();
        if (file.length < 0 || file.length > std::numeric_limits<qint64>::max() - total)
            return false;
        total += file.length;
        QString prefix;
        for (const BValue& part : path->asList()) {
            const std::optional<QString> component = componentFrom(part);
            if (!component)
                return false;
            file.components.append(*component);
        }
        // Padding is never written: its paths (equal for equal lengths) meet no file.
        file.padding = isPadding(entry);
        if (file.padding) {
            out.files.append(std::move(file));
            continue;
        }
        hasContent = true;
        // A file may not repeat a path nor lie where another file's folder is, and vice versa.
        for (qsizetype i = 0; i + 1 < file.components.size(); ++i) {
            prefix += file.components.at(i) + QLatin1Char('/');
            if (filePaths.contains(prefix.chopped(1)))
                return false;
            folderPaths.insert(prefix.chopped(1));
        }
        const QString full = prefix + file.components.last();
        if (filePaths.contains(full) || folderPaths.contains(full))
            return false;
        filePaths.insert(full);
        out.files.append(std::move(file));
    }
    if (!hasContent)
        return false;
    out.hasFileList = true;
    out.totalLength = total;
    return true;
}

bool addTracker(const BValue& value, Metainfo& out)
{
    if (!value.isBytes())
        return false;
    const QString address = value.asText().trimmed();
    if (!Metainfo::isAllowedTracker(address))
        return true;
    const QString lower = address.toLower();
    if (lower.startsWith(QLatin1String("http://")) || lower.startsWith(QLatin1String("https://")))
        out.trackersHTTP.append(address);
    else if (lower.startsWith(QLatin1String("udp://")))
        out.trackersUDP.append(address);
    return true;
}

bool readTrackers(const BValue& top, Metainfo& out)
{
    const BValue* announceList = top.find("announce-list");
    if (announceList && announceList->isList()) {
        for (const BValue& tier : announceList->asList()) {
            if (tier.isList()) {
                for (const BValue& address : tier.asList())
                    if (!addTracker(address, out))
                        return false;
            } else if (!addTracker(tier, out)) {
                return false;
            }
        }
        return true;
    }
    // A torrent without trackers is found through the DHT and peer exchange.
    const BValue* announce = top.find("announce");
    return !announce || addTracker(*announce, out);
}

void readNodes(const BValue& top, Metainfo& out)
{
    const BValue& nodes = top["nodes"];
    for (const BValue& node : nodes.asList()) {
        if (node.size() < 2 || !node.isList() || !node.at(0).isBytes() || !node.at(1).isInt())
            continue;
        if (auto address = DhtNodeAddress::fromHostAndPort(node.at(0).asText(), node.at(1).asInt()))
            if (!out.dhtNodes.contains(*address))
                out.dhtNodes.append(*address);
    }
}

}  // namespace

bool Metainfo::isAllowedTracker(const QString& address)
{
    // A public tracker that has long been gone; announcing to it only costs time.
    return !address.contains(QLatin1String("tracker.thepiratebay.org"), Qt::CaseInsensitive);
}

std::optional<Metainfo> Metainfo::read(const QByteArray& data)
{
    Bdecoder decoder(data, Bdecoder::kMetainfoLimit);
    const BValue& top = decoder.object();
    const BValue& info = top["info"];
    if (!top.isDict() || !info.isDict() || decoder.infoHash().size() != 20)
        return std::nullopt;

    Metainfo out;
    const BValue* name = preferredValue(info, "name");
    const std::optional<QString> component = name ? componentFrom(*name) : std::nullopt;
    if (!component)
        return std::nullopt;
    out.name = *component;

    const BValue& pieceLength = info["piece length"];
    if (!pieceLength.isInt() || pieceLength.asInt() <= 0 || pieceLength.asInt() >= kMaxPieceLength)
        return std::nullopt;
    out.pieceLength = pieceLength.asInt();

    if (const BValue* files = info.find("files")) {
        if (!readFiles(*files, out))
            return std::nullopt;
    } else {
        const BValue& length = info["length"];
        if (!length.isInt() || length.asInt() < 0)
            return std::nullopt;
        out.totalLength = length.asInt();
    }
    if (out.totalLength <= 0)
        return std::nullopt;

    const BValue& pieces = info["pieces"];
    const qint64 pieceCount = (out.totalLength - 1) / out.pieceLength + 1;
    if (!pieces.isBytes() || pieces.size() / 20 != pieceCount || pieces.size() % 20 != 0)
        return std::nullopt;
    out.pieces = pieces.asBytes();

    if (!readTrackers(top, out))
        return std::nullopt;
    readNodes(top, out);

    out.data = data;
    out.infoHash = decoder.infoHash();
    return out;
}

}  // namespace ombrelay
