#include "app/tabs/MainPaneFactory.h"

#include "app/SourceItem.h"
#include "app/tabs/MainPaneController.h"

namespace ombrelay {

std::unique_ptr<SourcePane> MainPaneFactory::makePane(SourceItem& item)
{
    if (item.isGroup())
        return nullptr;
    return std::make_unique<MainPaneController>(item.dictionary());
}

}  // namespace ombrelay
