#include "uikit/PZStringIsEmpty.h"

namespace ombrelay {

bool PZStringIsEmpty::transformedValue(const QVariant& value)
{
    return value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

}  // namespace ombrelay
