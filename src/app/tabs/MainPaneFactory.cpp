#include "app/tabs/MainPaneFactory.h"

#include "app/frame/SourceItem.h"
#include "app/tabs/MainPaneController.h"

namespace ombrelay {

std::unique_ptr<SourcePane> MainPaneFactory::makePane(SourceItem& item)
{
    if (item.isGroup())
        return nullptr;
    auto pane = std::make_unique<MainPaneController>(item.dictionary());
    QObject::connect(pane.get(), &MainPaneController::lastTabClosed, pane.get(), [this] {
        if (m_lastTabClosed)
            m_lastTabClosed();
    });
    QObject::connect(pane.get(), &MainPaneController::itemNeedsDisplay, pane.get(), [this] {
        if (m_itemNeedsDisplay)
            m_itemNeedsDisplay();
    });
    return pane;
}

}  // namespace ombrelay
