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
    // As write, but a file that holds exactly `bytes` already is left alone: nothing is written or synced.
    // What such a file shows is on disk, as long as only write ever replaced it.
    static bool writeIfDifferent(const QString& path, const QByteArray& bytes, QString* error = nullptr);
    // Whether the file at `path` holds exactly `bytes` (reads at most one byte more than they are long).
    static bool holds(const QString& path, const QByteArray& bytes);
};

}  // namespace ombrelay
