#pragma once

#include "engine/bencode/Bencoder.h"
#include "support/HttpTestServer.h"

#include <initializer_list>
#include <utility>

namespace ombrelay::test {

// A bencoded dictionary of the given keys, as a tracker writes its replies.
inline QByteArray bencodedReply(std::initializer_list<std::pair<const char*, BValue>> entries)
{
    BValue root;
    for (const auto& [key, value] : entries)
        root.insert(key, value);
    return Bencoder::bencodingForObject(root);
}

// A scrape answer with one "files" entry.
inline HttpTestResponse scrapeReply(const QByteArray& infoHash, qint64 seeds, qint64 leeches)
{
    const BValue::Dict entry{{"complete", seeds}, {"incomplete", leeches}};
    return {200, {}, bencodedReply({{"files", BValue::Dict{{infoHash, entry}}}})};
}

}  // namespace ombrelay::test
