#include "app/frame/SelectionController.h"

#include "app/frame/KoContentView.h"
#include "app/frame/PaneFactory.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourcePane.h"
#include "app/frame/SourceView.h"
#include "app/toolbar/KoToolbarDelegate.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"

#include <QAction>
#include <QApplication>
#include <QDialog>

namespace ombrelay {

namespace {

QString searchKey(const SourceItem* item)
{
    return QStringLiteral("search %1").arg(quintptr(item));
}

}  // namespace

SelectionController::SelectionController(KoContentView& contentView, QObject* parent)
    : QObject(parent), m_contentView(contentView)
{
    makeActions();
    // Queued: the focus also moves while a view that held it is being destroyed.
    connect(qApp, &QApplication::focusChanged, this, &SelectionController::validateActions, Qt::QueuedConnection);
}

SelectionController::~SelectionController()
{
    // A pane holding the focus hands it on as it goes: nothing of this controller may answer then.
    disconnect(qApp, nullptr, this, nullptr);
    stopListening(this);
    PerformLater::cancel(this);
    m_controllers.clear();
}

void SelectionController::setSourceView(SourceView* sourceView)
{
    m_sourceView = sourceView;
    connect(sourceView, &SourceView::sourceSelectionDidChange, this, &SelectionController::sourceViewSelectionDidChange);
    listenForNotification(
        this, QStringLiteral("NSResponderBecameFirstResponderNotification"),
        [this](const Notification&) { sourceViewFirstResponder(); }, sourceView);
}

void SelectionController::setStatsEntry(QWidget* entry, std::function<void(bool)> setSelected)
{
    m_statsEntry = entry;
    m_setStatsSelected = std::move(setSelected);
}

void SelectionController::setStatsSelected(bool selected)
{
    m_statsSelected = selected;
    if (m_setStatsSelected)
        m_setStatsSelected(selected);
}

void SelectionController::applicationDidFinishLaunching()
{
    m_contentView.showAnonymousView();
    // Typing at launch searches at once.
    KoToolbarDelegate::selectSearchField();
    if (QWidget* window = m_contentView.window()) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void SelectionController::sourceViewSelectionDidChange()
{
    setStatsSelected(false);
    SourceItem* item = m_sourceView ? m_sourceView->selectedItem() : nullptr;
    SourcePane* pane = item && !item->isGroup() ? controllerForItem(item) : nullptr;
    if (pane && pane->mainPaneView())
        m_contentView.showMainPane(pane->mainPaneView());
    else
        m_contentView.showAnonymousView();
}

void SelectionController::sourceViewFirstResponder()
{
    setStatsSelected(false);
    PerformLater::schedule(this, [this] { sourceViewSelectionDidChange(); }, 0, QStringLiteral("selection"));
}

void SelectionController::statsEntryClicked()
{
    PerformLater::cancel(this, QStringLiteral("selection"));
    setStatsSelected(true);
    m_contentView.showDownloadsView();
}

SourcePane* SelectionController::controllerForItem(SourceItem* item)
{
    if (!item || item->isGroup())
        return nullptr;
    const auto found = m_controllers.find(item);
    if (found != m_controllers.end())
        return found->second.get();
    if (!m_factory)
        return nullptr;
    std::unique_ptr<SourcePane> pane = m_factory->makePane(*item);
    if (!pane)
        return nullptr;
    SourcePane* made = pane.get();
    m_controllers.emplace(item, std::move(pane));
    if (item->isQuery()) {
        PerformLater::schedule(this, [this, item] {
            const auto built = m_controllers.find(item);
            if (built != m_controllers.end())
                built->second->performSearch();
        }, 0, searchKey(item));
    }
    return made;
}

bool SelectionController::hasControllerForItem(const SourceItem* item) const
{
    return m_controllers.count(item) > 0;
}

SourcePane* SelectionController::selectedController()
{
    return m_sourceView ? controllerForItem(m_sourceView->selectedItem()) : nullptr;
}

void SelectionController::performSearchForItem(SourceItem* item)
{
    if (!item || !item->isQuery())
        return;
    if (hasControllerForItem(item))
        m_controllers.at(item)->performSearch();
    else
        controllerForItem(item);
}

void SelectionController::dropPane(const SourceItem* item)
{
    PerformLater::cancel(this, searchKey(item));
    const auto found = m_controllers.find(item);
    if (found == m_controllers.end())
        return;
    if (found->second->mainPaneView() && m_contentView.currentView() == found->second->mainPaneView())
        m_contentView.showAnonymousView();
    m_controllers.erase(found);
}

void SelectionController::itemChanged(const SourceItem* item)
{
    const auto found = m_controllers.find(item);
    if (found != m_controllers.end())
        found->second->itemChanged(item->dictionary());
}

void SelectionController::removeItem(SourceItem* item)
{
    if (!item)
        return;
    dropPane(item);
    for (int i = 0; i < item->childCount(); ++i)
        removeItem(item->child(i));
}

int SelectionController::numberOfItemsForItem(const SourceItem* item) const
{
    const auto found = m_controllers.find(item);
    return found == m_controllers.end() ? 0 : found->second->numberOfItems();
}

int SelectionController::numberOfNewItemsForItem(const SourceItem* item) const
{
    if (!item || !item->isRSS())
        return 0;
    const auto found = m_controllers.find(item);
    return found == m_controllers.end() ? 0 : found->second->numberOfNewItems();
}

QAction* SelectionController::addAction(const QString& title, const QKeySequence& keys, std::function<void()> run)
{
    auto* action = new QAction(title, this);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::ApplicationShortcut);
    connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
        if (commandsEnabled())
            run();
    });
    m_actions.append(action);
    return action;
}

void SelectionController::makeActions()
{
    addAction(tr("Searches and Subscriptions"), QKeySequence(Qt::CTRL | Qt::Key_1), [this] { command1(); });
    const QStringList tabs{tr("All Transfers"), tr("Active Transfers"), tr("Inactive Transfers"), tr("Complete Transfers")};
    for (int i = 0; i < tabs.size(); ++i)
        addAction(tabs[i], QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_2 + i)), [this, i] { showDownloadsPane(i); });
    addAction(tr("New Folder"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), [this] {
        if (m_sourceView)
            m_sourceView->addNewFolder();
    });
    addAction(tr("New Subscription…"), {}, [this] {
        if (m_openAddSubscription)
            m_openAddSubscription();
    });
    addAction(tr("Remove"), {}, [this] {
        if (m_sourceView)
            m_sourceView->removeSelectedItem();
    });
}

bool SelectionController::commandsEnabled() const
{
    const QWidget* window = m_contentView.window();
    for (const QWidget* top : QApplication::topLevelWidgets()) {
        const auto* dialog = qobject_cast<const QDialog*>(top);
        if (dialog && dialog->isVisible() && dialog->windowModality() != Qt::NonModal && dialog->parentWidget()
            && dialog->parentWidget()->window() == window)
            return false;
    }
    return true;
}

void SelectionController::validateActions()
{
    const bool enabled = commandsEnabled();
    for (QAction* action : std::as_const(m_actions))
        action->setEnabled(enabled);
    if (enabled && m_sourceView)
        action(RemoveItem)->setEnabled(m_sourceView->selectedItem() != nullptr);
}

void SelectionController::command1()
{
    if (!m_sourceView)
        return;
    SourceView& view = *m_sourceView;
    const bool focused = view.hasFocus();
    const QList<SourceItem*> selected = view.selectedItems();
    if (focused || selected.isEmpty()) {
        const QList<SourceItem*> rows = view.visibleItems();
        auto hasSomething = [this](const SourceItem* item) {
            return numberOfItemsForItem(item) > 0 || numberOfNewItemsForItem(item) > 0;
        };
        if (selected.size() == 1) {
            const int start = int(rows.indexOf(selected.first()));
            for (int step = 1; step < rows.size(); ++step) {
                SourceItem* candidate = rows[(start + step) % rows.size()];
                if (hasSomething(candidate)) {
                    view.selectItem(candidate);
                    break;
                }
            }
        } else if (selected.size() > 1) {
            view.selectItem(selected.first());
        } else if (!rows.isEmpty()) {
            SourceItem* chosen = rows.first();
            for (SourceItem* candidate : rows) {
                if (hasSomething(candidate)) {
                    chosen = candidate;
                    break;
                }
            }
            view.selectItem(chosen);
        }
    }
    view.setFocus(Qt::ShortcutFocusReason);
    sourceViewSelectionDidChange();
    if (SourceItem* item = view.selectedItem())
        view.scrollToItem(item);
    if (QWidget* window = view.window()) {
        window->raise();
        window->activateWindow();
    }
}

void SelectionController::showDownloadsPane(int index)
{
    if (m_statsEntry)
        m_statsEntry->setFocus(Qt::ShortcutFocusReason);
    PerformLater::cancel(this, QStringLiteral("selection"));
    statsEntryClicked();
    if (QWidget* window = m_contentView.window()) {
        window->raise();
        window->activateWindow();
    }
    if (m_selectTab)
        m_selectTab(index);
}

void SelectionController::search(const QString& terms)
{
    if (m_sourceView)
        m_sourceView->addNewQueryForString(terms);
}

}  // namespace ombrelay
