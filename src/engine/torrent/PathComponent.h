#pragma once

#include <QString>

namespace ombrelay {

// One name inside a torrent's folder: never empty, ".", "..", never holding "/" or NUL, at most 255
// bytes of UTF-8. Joining refuses anything else, so a torrent's content always lies under its folder.
class PathComponent
{
public:
    static constexpr int kMaxBytes = 255;

    static bool isPlain(const QString& name);
    // A name longer than 255 bytes, shortened at a character boundary keeping its extension (when the
    // extension is short enough to keep).
    static QString shortened(const QString& name);
    // folder + "/" + name; empty when the name is not plain or the folder is empty.
    static QString join(const QString& folder, const QString& name);
};

}  // namespace ombrelay
