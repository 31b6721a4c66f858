#pragma once

#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <unordered_map>

class QAction;

namespace ombrelay {

class KoContentView;
class PaneFactory;
class SourceItem;
class SourcePane;
class SourceView;

// Connects the sidebar (the source list and the transfers entry) with the content switcher: builds one
// pane per search or feed item on first need and keeps it while the item lives, shows the selected
// item's pane, the transfers view or the start view, answers the counts the source-list cells draw, and
// carries the commands that jump between the sidebar's entries (Ctrl+1 to Ctrl+5).
class SelectionController : public QObject
{
    Q_OBJECT
public:
    SelectionController(KoContentView& contentView, QObject* parent = nullptr);
    ~SelectionController() override;

    void setSourceView(SourceView* sourceView);
    // The transfers entry of the sidebar, and how to show it selected or not.
    void setStatsEntry(QWidget* entry, std::function<void(bool selected)> setSelected);
    void setPaneFactory(PaneFactory* factory) { m_factory = factory; }
    // Selects a filter tab of the transfers list (0 "All", 1 "Active", ...).
    void setTransfersTabSelector(std::function<void(int index)> selectTab) { m_selectTab = std::move(selectTab); }
    void setAddSubscriptionPanel(std::function<void()> open) { m_openAddSubscription = std::move(open); }

    void applicationDidFinishLaunching();
    void sourceViewSelectionDidChange();
    void sourceViewFirstResponder();
    // The transfers entry was clicked (or selected from the keyboard).
    void statsEntryClicked();

    // The item's pane, built on first need (a new search pane searches on the next pass); null for none.
    SourcePane* controllerForItem(SourceItem* item);
    bool hasControllerForItem(const SourceItem* item) const;
    SourcePane* selectedController();
    // Runs the item's search once: at once for a built pane, else by building it.
    void performSearchForItem(SourceItem* item);
    // The item's pane follows its new dictionary (a rename).
    void itemChanged(const SourceItem* item);
    // Drops the panes of the item and its whole subtree; a shown one is switched away first.
    void removeItem(SourceItem* item);
    // Never builds a pane: drawing asks these.
    int numberOfItemsForItem(const SourceItem* item) const;
    int numberOfNewItemsForItem(const SourceItem* item) const;

    // Ctrl+1 to Ctrl+5, New Folder, New Subscription and Remove (enabled while an item is selected), in
    // this order; disabled under a window-modal dialog.
    enum Command { ShowSources, ShowAllTransfers, ShowActiveTransfers, ShowInactiveTransfers,
                   ShowCompleteTransfers, NewFolder, NewSubscription, RemoveItem };
    const QList<QAction*>& actions() const { return m_actions; }
    QAction* action(Command command) const { return m_actions.at(command); }
    bool commandsEnabled() const;
    void validateActions();
    void command1();
    void showDownloadsPane(int index);
    // A search typed or followed elsewhere: added to the source list (or its twin selected).
    void search(const QString& terms);

private:
    void makeActions();
    QAction* addAction(const QString& title, const QKeySequence& keys, std::function<void()> run);
    void setStatsSelected(bool selected);
    void dropPane(const SourceItem* item);

    KoContentView& m_contentView;
    SourceView* m_sourceView = nullptr;
    QWidget* m_statsEntry = nullptr;
    std::function<void(bool)> m_setStatsSelected;
    PaneFactory* m_factory = nullptr;
    std::function<void(int)> m_selectTab;
    std::function<void()> m_openAddSubscription;
    std::unordered_map<const SourceItem*, std::unique_ptr<SourcePane>> m_controllers;
    QList<QAction*> m_actions;
    bool m_statsSelected = false;
};

}  // namespace ombrelay
