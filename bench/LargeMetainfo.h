#pragma once

#include "engine/bencode/BValue.h"
#include "engine/bencode/Bencoder.h"

namespace ombrelay::bench {

// A metainfo of `files` files of varied lengths, 1000 to a folder, in pieces of 1 MiB.
inline QByteArray largeMetainfo(int files)
{
    constexpr qint64 pieceLength = 1 << 20;
    BValue list = BValue::list();
    qint64 total = 0;
    for (int n = 0; n < files; ++n) {
        BValue file;
        const qint64 length = 1000 + qint64(n) * 7919 % 5'000'000;
        file.insert("length", length);
        file.insert("path", BValue::List{BValue(QByteArray("folder ") + QByteArray::number(n / 1000)),
                                         BValue(QByteArray("file number ") + QByteArray::number(n) + ".dat")});
        list.append(std::move(file));
        total += length;
    }
    BValue info;
    info.insert("files", std::move(list));
    info.insert("name", "Large torrent");
    info.insert("piece length", pieceLength);
    info.insert("pieces", QByteArray(int((total + pieceLength - 1) / pieceLength) * 20, '\x5a'));
    BValue metainfo;
    metainfo.insert("announce", "http://127.0.0.1:6969/announce");
    metainfo.insert("creation date", 1700000000);
    metainfo.insert("info", std::move(info));
    return Bencoder::bencodingForObject(metainfo);
}

}  // namespace ombrelay::bench
