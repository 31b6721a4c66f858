#include "uikit/PZSortDescriptor.h"

#include "uikit/PZOutlineObject.h"

namespace ombrelay {

int PZSortDescriptor::compare(const PZOutlineObject& a, const PZOutlineObject& b) const
{
    const int order = a.compareForSort(b, key, comparison);
    return ascending ? order : -order;
}

int PZSortDescriptor::compareValues(const QVariant& a, const QVariant& b, const QString& comparison)
{
    if (!a.isValid() || !b.isValid())
        return int(a.isValid()) - int(b.isValid());
    const bool textual = a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString;
    if (textual) {
        const bool ignoreCase = comparison.contains(QLatin1String("CaseInsensitive"), Qt::CaseInsensitive);
        const int order = a.toString().compare(b.toString(), ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
        return (order > 0) - (order < 0);
    }
    const QPartialOrdering order = QVariant::compare(a, b);
    if (order == QPartialOrdering::Less)
        return -1;
    if (order == QPartialOrdering::Greater)
        return 1;
    return 0;
}

int compareObjects(const PZSortDescriptors& descriptors, const PZOutlineObject& a, const PZOutlineObject& b)
{
    for (const PZSortDescriptor& descriptor : descriptors) {
        if (const int order = descriptor.compare(a, b))
            return order;
    }
    return 0;
}

}  // namespace ombrelay
