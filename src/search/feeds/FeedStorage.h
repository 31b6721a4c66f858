#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

namespace ombrelay {

// The file of a feed's items: a binary property list (an array of item maps) in "Storage" under the
// application-support folder. Safe to call from any thread.
class FeedStorage
{
public:
    static constexpr qint64 kMaxFileBytes = qint64(64) << 20;
    static constexpr int kMaxNameBytes = 200;

    // The address without "http://" and "www.", "/" and "?" made "-". A name that is empty, "." or "..",
    // longer than kMaxNameBytes or holding a NUL is the SHA-1 of the address instead.
    static QString friendlyFileName(const QString& address);
    static QString storageFolder();
    static QString storageFilePath(const QString& address);

    // The stored items: entries that are not maps are dropped, and so are values of the wrong type.
    // Empty when the file is missing, too large or unreadable.
    static QList<QVariantMap> read(const QString& path);
    static bool write(const QString& path, const QList<QVariantMap>& items);
};

}  // namespace ombrelay
