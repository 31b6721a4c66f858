#include "search/feeds/FeedStorage.h"

#include "kit/AppPaths.h"
#include "kit/PZCrypto.h"
#include "kit/PropertyList.h"

#include <QDir>
#include <QFileInfo>

namespace ombrelay {
namespace {

// What each stored key must hold; anything else is dropped on reading.
bool hasStoredType(const QString& key, const QVariant& value)
{
    const int type = value.typeId();
    if (key == QLatin1String("date") || key == QLatin1String("dateAdded"))
        return type == QMetaType::QDateTime;
    if (key == QLatin1String("isNew"))
        return type == QMetaType::QString || type == QMetaType::Bool || type == QMetaType::LongLong;
    return type == QMetaType::QString;
}

}  // namespace

QString FeedStorage::friendlyFileName(const QString& address)
{
    QString name = address;
    name.remove(QStringLiteral("http://")).remove(QStringLiteral("www."));
    name.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char('?'), QLatin1Char('-'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(0))
        || name.toUtf8().size() > kMaxNameBytes)
        return QString::fromLatin1(PZCrypto::sha1(address).toHex());
    return name;
}

QString FeedStorage::storageFolder()
{
    return QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("Storage"));
}

QString FeedStorage::storageFilePath(const QString& address)
{
    return QDir(storageFolder()).filePath(friendlyFileName(address));
}

QList<QVariantMap> FeedStorage::read(const QString& path)
{
    QList<QVariantMap> items;
    const QVariant stored = PropertyList::read(path, kMaxFileBytes);
    if (stored.typeId() != QMetaType::QVariantList)
        return items;
    const QVariantList list = stored.toList();
    items.reserve(list.size());
    for (const QVariant& entry : list) {
        if (entry.typeId() != QMetaType::QVariantMap)
            continue;
        QVariantMap item = entry.toMap();
        const bool sound = std::all_of(item.keyValueBegin(), item.keyValueEnd(),
                                       [](const auto& pair) { return hasStoredType(pair.first, pair.second); });
        if (!sound)  // only then copied: erasing detaches the map from the list's
            item.removeIf([](const auto& pair) { return !hasStoredType(pair.key(), pair.value()); });
        items.append(std::move(item));
    }
    return items;
}

bool FeedStorage::write(const QString& path, const QList<QVariantMap>& items)
{
    QVariantList list;
    list.reserve(items.size());
    for (const QVariantMap& item : items)
        list.append(item);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    return PropertyList::write(path, list);
}

}  // namespace ombrelay
