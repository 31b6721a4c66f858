#include "app/frame/SourceListStorage.h"

#include "app/frame/SourceItem.h"
#include "kit/AppPaths.h"
#include "kit/AtomicFile.h"
#include "kit/FileHelpers.h"
#include "kit/PropertyList.h"
#include "kit/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QThreadPool>

namespace ombrelay {

namespace {
const QString kKey = QStringLiteral("SourceListData");
}

std::unique_ptr<SourceItem> SourceListStorage::itemsFromData(const QByteArray& bytes)
{
    if (bytes.size() > kMaxStoredBytes)
        return nullptr;
    const QVariant stored = PropertyList::fromBinary(bytes);
    if (stored.typeId() != QMetaType::QVariantList)
        return nullptr;
    // The root is no stored item: it does not count against the budget.
    int budget = SourceItem::kMaxItems + 1;
    return SourceItem::fromVariant(
        QVariantMap{{QStringLiteral("type"), QStringLiteral("Group")}, {QStringLiteral("children"), stored}}, &budget);
}

QByteArray SourceListStorage::dataFromItems(const SourceItem& root)
{
    return PropertyList::toBinary(root.toVariant().value(QStringLiteral("children")));
}

QString SourceListStorage::keptAsidePath()
{
    return QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("SourceListData.unreadable"));
}

std::unique_ptr<SourceItem> SourceListStorage::load(Settings& settings)
{
    settings.registerDefault(kKey, PropertyList::toBinary(QVariantList{}));
    const QVariant value = settings.value(kKey);
    const QByteArray bytes = value.toByteArray();
    std::unique_ptr<SourceItem> root = value.typeId() == QMetaType::QByteArray ? itemsFromData(bytes) : nullptr;
    if (root)
        return root;
    fprintf(stderr, "*** SourceListData: unreadable (%lld bytes); kept in %s\n", qint64(bytes.size()),
            qPrintable(keptAsidePath()));
    const QString path = keptAsidePath();
    QThreadPool::globalInstance()->start([path, bytes] {
        if (createParentFolders(path))
            AtomicFile::write(path, bytes);
    });
    return SourceItem::makeGroup({}, {});
}

void SourceListStorage::save(Settings& settings, const SourceItem& root)
{
    settings.setValue(kKey, dataFromItems(root));
    settings.sync();
}

}  // namespace ombrelay
