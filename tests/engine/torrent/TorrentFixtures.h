#pragma once

#include "engine/bencode/BValue.h"
#include "engine/bencode/Bencoder.h"
#include "kit/PZCrypto.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <utility>

namespace ombrelay::test {

struct FileSpec
{
    QStringList path;
    qint64 length;
};

// `dictionary` with `key` set to `value`.
inline BValue with(BValue dictionary, const QByteArray& key, BValue value)
{
    dictionary.insert(key, std::move(value));
    return dictionary;
}

inline BValue pathList(const QStringList& components)
{
    BValue list = BValue::list();
    for (const QString& c : components)
        list.append(BValue(c));
    return list;
}

// The "pieces" value for a total length: one 20-byte digest per piece (contents do not matter here).
inline QByteArray piecesFor(qint64 total, qint64 pieceLength)
{
    const qint64 count = total <= 0 || pieceLength <= 0 ? 0 : (total - 1) / pieceLength + 1;
    return QByteArray(qsizetype(std::min<qint64>(count, 1 << 16) * 20), 'p');  // absurd sizes stay small
}

inline BValue multiFileInfo(const QString& name, const QList<FileSpec>& files, qint64 pieceLength = 16384)
{
    BValue info;
    BValue list = BValue::list();
    qint64 total = 0;
    for (const FileSpec& f : files) {
        BValue entry;
        entry.insert("length", f.length);
        entry.insert("path", pathList(f.path));
        list.append(std::move(entry));
        if (f.length > 0 && f.length <= std::numeric_limits<qint64>::max() - total)
            total += f.length;
    }
    info.insert("files", std::move(list));
    info.insert("name", BValue(name));
    info.insert("piece length", pieceLength);
    info.insert("pieces", piecesFor(total, pieceLength));
    return info;
}

inline BValue singleFileInfo(const QString& name, qint64 length, qint64 pieceLength = 16384)
{
    BValue info;
    info.insert("length", length);
    info.insert("name", BValue(name));
    info.insert("piece length", pieceLength);
    info.insert("pieces", piecesFor(length, pieceLength));
    return info;
}

inline QByteArray metainfo(BValue info, const QString& announce = QStringLiteral("http://127.0.0.1:6969/announce"))
{
    BValue top;
    if (!announce.isEmpty())
        top.insert("announce", BValue(announce));
    top.insert("info", std::move(info));
    return Bencoder::bencodingForObject(top);
}

}  // namespace ombrelay::test
