#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace ombrelay {

// Binary property lists as QVariant values: dictionary <-> QVariantMap, array <-> QVariantList, string <->
// QString, integer <-> qint64, real <-> double, boolean <-> bool, data <-> QByteArray, date <-> QDateTime.
// Damaged input never crashes: it reads as an invalid QVariant and is logged.
class PropertyList
{
public:
    // The value stored in a binary property list file; invalid when the file is missing, larger than
    // maxBytes or not a readable property list.
    static QVariant read(const QString& path, qint64 maxBytes);
    // Writes atomically (see AtomicFile). Fails for values that have no property-list form; `error`
    // then says why.
    static bool write(const QString& path, const QVariant& value, QString* error = nullptr);

    static QVariant fromBinary(const QByteArray& bytes);
    static QByteArray toBinary(const QVariant& value);  // empty when the value has no property-list form
};

}  // namespace ombrelay
