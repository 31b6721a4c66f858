#include "app/tabs/MainPaneFactory.h"

#include "app/frame/SourceItem.h"
#include "app/tabs/MainPaneController.h"

namespace ombrelay {

std::unique_ptr<SourcePane> MainPaneFactory::makePane(SourceItem& item)
{
    if (item.isGroup())
        return nullptr;
    auto pane = std::make_unique<MainPaneController>(item.dictionary());
    const auto forward = [](std::function<void()>& handler) {
        return [&handler] {
            if (handler)
                handler();
        };
    };
    QObject::connect(pane.get(), &MainPaneController::lastTabClosed, pane.get(), forward(m_lastTabClosed));
    QObject::connect(pane.get(), &MainPaneController::itemNeedsDisplay, pane.get(), forward(m_itemNeedsDisplay));
    QObject::connect(pane.get(), &MainPaneController::resultsListShown, pane.get(), forward(m_resultsListShown));
    return pane;
}

}  // namespace ombrelay
