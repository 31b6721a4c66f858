#include "app/toolbar/KoAnonymousToolbarDelegate.h"

namespace ombrelay {

KoAnonymousToolbarDelegate& KoAnonymousToolbarDelegate::instance()
{
    static KoAnonymousToolbarDelegate* delegate = new KoAnonymousToolbarDelegate;  // lives as long as the process
    return *delegate;
}

}  // namespace ombrelay
