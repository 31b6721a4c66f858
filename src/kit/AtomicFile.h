#pragma once

#include <QByteArray>
#include <QString>

namespace ombrelay {

// Replaces a file's contents all at once: the bytes go to a temporary file in the same folder, which is
// flushed to disk and renamed over the target, then the folder itself is synced. A reader sees either the
// old file or the new one, never a part. Safe to call from any thread.
class AtomicFile
{
public:
    static bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);
};

}  // namespace ombrelay
