#include "uikit/PZOutlineObject.h"

#include "uikit/PZSortDescriptor.h"

namespace ombrelay {

int PZOutlineObject::compareForSort(const PZOutlineObject& other, const QString& key, const QString& comparison) const
{
    return PZSortDescriptor::compareValues(outlineValue(key), other.outlineValue(key), comparison);
}

}  // namespace ombrelay
