#include "app/web/WebHooks.h"

namespace ombrelay {

WebHooks& WebHooks::instance()
{
    static WebHooks hooks;
    return hooks;
}

}  // namespace ombrelay
