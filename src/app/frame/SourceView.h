#pragma once

#include <QPixmap>
#include <QPointer>
#include <functional>
#include <memory>

#include "search/SourceListActions.h"
#include "uikit/PZOutlineView.h"

class QLineEdit;

namespace ombrelay {

class FeedRegistry;
class SelectionController;
class Settings;
class SourceItem;

// The sidebar's source list: the user's searches, feed subscriptions and folders (which nest). It owns
// the items, keeps them in the settings ("SourceListData", one coalesced write per pass of the event
// loop), and lets the user add, remove, rename and reorder them. Every lookup goes by item identity.
class SourceView : public PZOutlineView, public SourceListActions
{
    Q_OBJECT
public:
    // Site icons of feed addresses (null pixmap: none yet).
    using IconProvider = std::function<QPixmap(const QString& address)>;

    SourceView(Settings& settings, QWidget* parent = nullptr);
    ~SourceView() override;

    void setSelectionController(SelectionController* controller) { m_selection = controller; }
    SelectionController* selectionController() const { return m_selection; }
    void setFeedRegistry(FeedRegistry* feeds) { m_feeds = feeds; }
    void setIconProvider(IconProvider provider) { m_iconProvider = std::move(provider); }
    QPixmap siteIcon(const QString& address) const;

    // Storage. Loading starts every feed of the tree, a few per pass of the event loop.
    void loadFromDefaults();
    void saveToDefaults();
    void saveNow();

    // The top level, a folder item of no type of its own.
    SourceItem& root() const { return *m_root; }
    // Every item of the tree in depth-first order.
    QList<SourceItem*> allItems() const;
    // The items of the shown rows, top to bottom.
    QList<SourceItem*> visibleItems() const;

    // Adding and finding.
    void addNewQueryForString(const QString& terms) override;
    void addNewSubscriptionForAddress(const QString& address, const QString& name) override;
    void addNewFolder();
    SourceItem* addNewItem(std::unique_ptr<SourceItem> item, bool toSelectedGroup);
    SourceItem* findExistingQuery(const QString& terms) const;
    SourceItem* findExistingSubscription(const QString& address) const;
    // The folder holding the item; null for a top-level item.
    SourceItem* parentGroupOfItem(const SourceItem* item) const;
    bool containsItem(const SourceItem* item) const;
    bool hasGroup() const;

    SourceItem* selectedItem() const;
    QList<SourceItem*> selectedItems() const;
    // Expands every folder above the item, then selects its row alone.
    void selectItem(SourceItem* item);
    void scrollToItem(SourceItem* item);
    SourceItem* mouseOverItem() const { return m_mouseOverItem; }

    // Removing: asks first for a non-empty folder and for any feed.
    void removeSelectedItem();
    void removeItem(SourceItem* item);

    // Drops of this view's own drags: where `source` may go (`target` null: the top level; childIndex -1:
    // onto the target folder), and the move itself.
    bool validateDrop(const SourceItem* source, const SourceItem* target, int childIndex) const;
    bool acceptDrop(SourceItem* source, SourceItem* target, int childIndex);

    // Renaming a folder or feed in place: the editor covers the name, not the icon.
    void editItem(SourceItem* item);
    QLineEdit* editor() const { return m_editor; }
    SourceItem* editedItem() const { return m_editedItem; }
    void endEditing(bool accept);

    int indentationPerLevel() const { return indentation(); }
    int heightOfRow(const PZOutlineObject&, int) const override { return 22; }
    bool justBecameFirstResponder() const { return m_justBecameFirstResponder; }

    // The shopping-site search address for the terms.
    static QUrl shoppingSearchURL(const QString& terms);
    QMenu* menuForItem(SourceItem* item);

signals:
    // The user's selection changed (not the view's own changes during a reload).
    void sourceSelectionDidChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab: the shown content's list, else the toolbar search field; Shift+Tab: the search field.
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reloadContainer(SourceItem* group);
    void expandGroups(const SourceItem& group);
    void updateIndentation();
    void removeItemNow(SourceItem* item);
    void stopFeedsIn(const SourceItem& item, const QList<SourceItem*>& remaining);
    void startNextFeeds(QList<SourceItem*> pending);
    void setMouseOverItem(SourceItem* item);
    // The drop a position proposes: target folder (null: top level) and child index (-1: onto it).
    bool proposedDrop(const QPoint& position, SourceItem** target, int* childIndex) const;
    QRect cellFrame(const SourceItem* item) const;
    void drawWelcome(QPainter& painter);
    SourceItem* itemAt(const QModelIndex& index) const;

    Settings& m_settings;
    std::unique_ptr<SourceItem> m_root;
    SelectionController* m_selection = nullptr;
    FeedRegistry* m_feeds = nullptr;
    IconProvider m_iconProvider;
    SourceItem* m_mouseOverItem = nullptr;
    SourceItem* m_dragSource = nullptr;
    SourceItem* m_editedItem = nullptr;
    SourceItem* m_pendingRename = nullptr;
    SourceItem* m_awaitingRemoval = nullptr;  // the item a removal sheet asks about
    QLineEdit* m_editor = nullptr;
    QPoint m_pressPosition;
    SourceItem* m_pressItem = nullptr;
    SourceItem* m_selectedBeforePress = nullptr;
    bool m_pressMayDrag = false;
    bool m_doubleClicked = false;  // until the button goes up
    bool m_justBecameFirstResponder = false;
    bool m_pressFocusedList = false;  // the press under way gave the list the focus
    bool m_reloading = false;
};

}  // namespace ombrelay
