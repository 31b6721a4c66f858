#include "app/shell/KoApplicationController.h"

#include "app/frame/KoContentView.h"
#include "app/frame/KoMainWindow.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SourceView.h"
#include "app/shell/KoAppMessageBridge.h"
#include "app/shell/KoMainMenu.h"
#include "app/tabs/CurrentTabView.h"
#include "app/tabs/PZSquareTabView.h"
#include "app/toolbar/KoToolbarDelegate.h"
#include "app/web/CurrentWebView.h"
#include "app/web/MainWebView.h"
#include "kit/NotificationCenter.h"
#include "search/views/CurrentRSSOutlineView.h"
#include "transfers/DownloadsOutlineView.h"
#include "transfers/KoDownloadsController.h"
#include "transfers/StatsView.h"
#include "uikit/KeyViewLoop.h"

#include <QApplication>
#include <QMenuBar>
#include <QWidgetAction>

namespace ombrelay {

namespace {

// Undo, Cut, Copy and the like act on the focused widget, when it has the slot.
bool focusHas(const char* slot)
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && focus->metaObject()->indexOfSlot(slot) >= 0;
}

void setEditCommand(KoMainMenu& menu, KoMainMenu::Command command, const char* name)
{
    const QByteArray slot = QByteArray(name) + "()";
    menu.setCommand(
        command, [name] { QMetaObject::invokeMethod(QApplication::focusWidget(), name); },
        [slot] { return focusHas(slot.constData()); });
}

bool webViewShown()
{
    const MainWebView* view = CurrentWebView::instance().content();
    return view && view->isVisible();
}

}  // namespace

void KoApplicationController::installMenus()
{
    using C = KoMainMenu::Command;
    m_menu = std::make_unique<KoMainMenu>();
    KoMainMenu& menu = *m_menu;
    KoMainWindow* window = m_window.get();
    DownloadsOutlineView* transfers = m_downloads->outlineView();
    CurrentTabView& tabs = CurrentTabView::instance();

    menu.setCommand(C::Open, [window] { window->showOpenPanel(); });
    // From another window of the program (the preferences), Ctrl+W closes that window.
    const auto otherWindow = [window]() -> QWidget* {
        QWidget* active = QApplication::activeWindow();
        return active != window ? active : nullptr;
    };
    menu.setCommand(
        C::CloseTab,
        [&tabs, otherWindow] {
            if (QWidget* other = otherWindow())
                other->close();
            else
                tabs.closeSelectedTab();
        },
        [&tabs, otherWindow] { return otherWindow() || tabs.canCloseSelectedTab(); });
    menu.setCommand(C::ClearComplete, [transfers] { transfers->clearAllComplete(); });
    menu.setCommand(C::Quit, [this] { requestQuit(); }, [this] { return !m_askingToQuit; });
    setEditCommand(menu, C::Undo, "undo");
    setEditCommand(menu, C::Redo, "redo");
    setEditCommand(menu, C::Cut, "cut");
    setEditCommand(menu, C::Copy, "copy");
    setEditCommand(menu, C::Paste, "paste");
    setEditCommand(menu, C::SelectAll, "selectAll");
    menu.setCommand(C::NewTab, [&tabs] { tabs.newTab(); }, [&tabs] { return tabs.validateMenuItem(0); });
    menu.setCommand(C::SelectNextTab, [&tabs] { tabs.selectNextTab(); },
                    [&tabs] { return tabs.validateMenuItem(CurrentTabView::kNeedsTabsTag); });
    menu.setCommand(C::SelectPreviousTab, [&tabs] { tabs.selectPreviousTab(); },
                    [&tabs] { return tabs.validateMenuItem(CurrentTabView::kNeedsTabsTag); });
    menu.setCommand(C::MakeTextLarger, [] { CurrentWebView::instance().makeTextLarger(); }, webViewShown);
    menu.setCommand(C::MakeTextSmaller, [] { CurrentWebView::instance().makeTextSmaller(); }, webViewShown);
    menu.setCommand(C::MarkAllRead, &CurrentRSSOutlineView::markAllRead, [] { return CurrentRSSOutlineView::validateMenuItem(1); });
    using Item = DownloadsOutlineView::MenuItem;
    const auto allowed = [transfers](Item item) { return [transfers, item] { return transfers->validateMenuItem(item); }; };
    menu.setCommand(C::OpenTransfer, [transfers] { transfers->openSelected(); }, allowed(Item::Open));
    menu.setCommand(C::RevealTransfer, [transfers] { transfers->revealSelected(); }, allowed(Item::Reveal));
    menu.setCommand(C::QuickLook, [transfers] { transfers->toggleQuickLook(); }, allowed(Item::QuickLook));
    menu.setCommand(C::RemoveTransfer, [transfers] { transfers->removeSelected(); }, allowed(Item::Remove));

    // The sidebar's commands keep their own actions.
    SelectionController* selection = window->selectionController();
    const std::pair<C, SelectionController::Command> sidebar[] = {
        {C::NewFolder, SelectionController::NewFolder},
        {C::NewSubscription, SelectionController::NewSubscription},
        {C::RemoveSource, SelectionController::RemoveItem},
        {C::ShowSources, SelectionController::ShowSources},
        {C::ShowAllTransfers, SelectionController::ShowAllTransfers},
        {C::ShowActiveTransfers, SelectionController::ShowActiveTransfers},
        {C::ShowInactiveTransfers, SelectionController::ShowInactiveTransfers},
        {C::ShowCompleteTransfers, SelectionController::ShowCompleteTransfers},
    };
    for (const auto& [command, own] : sidebar)
        menu.adoptAction(command, selection->action(own));
    menu.setAdoptedValidator([selection] { selection->validateActions(); });

    KoAppMessageBridge::Actions actions;
    actions.showPreferences = [this] { showPreferences(); };
    actions.showOpenAddressPanel = m_hooks.showOpenAddressPanel;
    actions.search = m_hooks.search;
    m_bridge = std::make_unique<KoAppMessageBridge>(window, menu, window->contentView(), std::move(actions));
    menu.build(window->menuBar());

    // What the enabled states follow.
    connect(window->contentView(), &QStackedWidget::currentChanged, &menu, &KoMainMenu::validateLater);
    connect(window->sourceView()->selectionModel(), &QItemSelectionModel::selectionChanged, &menu,
            &KoMainMenu::validateLater);
    connect(qApp, &QApplication::focusChanged, &menu, &KoMainMenu::validateLater);
    connect(transfers, &PZOutlineView::selectionDidChange, &menu, &KoMainMenu::validateLater);
    connect(&CurrentWebView::instance(), &CurrentWebView::contentChanged, &menu, &KoMainMenu::validateLater);
    for (const char* name : {"RSSOutlineViewStatusChanged", "PZSquareTabViewSelectionDidChange"})
        listenForNotification(&menu, QString::fromLatin1(name), [&menu](const Notification&) { menu.validateLater(); });
}

void KoApplicationController::installKeyViewLoop()
{
    KoMainWindow* window = m_window.get();
    KoDownloadsController* downloads = m_downloads.get();
    KeyViewLoop::install({
        [window]() -> QWidget* { return window->contentView()->currentView(); },
        [window]() -> QWidget* { return window->sourceView(); },
        []() -> QWidget* { return KoToolbarDelegate::searchView(); },
        [downloads]() -> QWidget* { return downloads->statsView(); },
    });
}

}  // namespace ombrelay
