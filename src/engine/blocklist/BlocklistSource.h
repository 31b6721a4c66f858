#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ombrelay {

// Reads the bytes of a blocklist text list, from a plain file or from a zip archive, never more than
// BlocklistText::kMaxTextBytes. On failure the answer is empty and `error` says why.
class BlocklistSource
{
public:
    static constexpr int kMaxArchiveEntriesScanned = 1000;

    static std::optional<QByteArray> readTextFile(const QString& path, QString* error);
    // The first file entry whose name ends in ".txt", else the archive's first file entry.
    static std::optional<QByteArray> readArchive(const QString& path, QString* error);
    // Archives by their leading "PK\3\4"; anything else is read as text.
    static std::optional<QByteArray> read(const QString& path, QString* error);
};

}  // namespace ombrelay
