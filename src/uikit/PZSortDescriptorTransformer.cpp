#include "uikit/PZSortDescriptorTransformer.h"

#include <QStringList>

namespace ombrelay {

PZSortDescriptors PZSortDescriptorTransformer::transformedValue(const QVariant& stored)
{
    PZSortDescriptors descriptors;
    for (const QVariant& entry : stored.toList()) {
        if (!entry.canConvert<QStringList>())
            continue;
        const QStringList parts = entry.toStringList();
        if (parts.size() < 3)
            continue;
        descriptors.append({parts[0], parts[1].trimmed().toLongLong() != 0, parts[2]});
    }
    return descriptors;
}

QVariant PZSortDescriptorTransformer::reverseTransformedValue(const PZSortDescriptors& descriptors)
{
    QVariantList stored;
    for (const PZSortDescriptor& descriptor : descriptors)
        stored.append(QStringList{descriptor.key, descriptor.ascending ? QStringLiteral("1") : QStringLiteral("0"),
                                  descriptor.comparison});
    return stored;
}

}  // namespace ombrelay
