#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

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

    // What one file must become: these bytes, or no file at all.
    struct Change
    {
        QString path;
        std::optional<QByteArray> bytes;
    };
    // Makes every file what its change asks, as writeIfDifferent would (a file to drop is removed when
    // there), each file old or new after a crash at any moment. A few files are written one by one;
    // more share their syncs: every temporary file is written, their file systems are synced once, the
    // files are renamed (or removed), and their file systems are synced once more. Either way files are
    // replaced in the order given. Answers one error per change, empty where it succeeded.
    static QStringList applyAll(const QVector<Change>& changes);
    // Up to this many files to write or remove are synced each on its own: one small file's sync costs
    // less than a sync of its whole file system, which also flushes every download's unsynced blocks and
    // other programs' data. The bitfields of a few running torrents, written each second, stay below it;
    // a quit or an add of many torrents goes above.
    static constexpr int kOwnSyncsUpTo = 32;
};

}  // namespace ombrelay
