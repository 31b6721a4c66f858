#include "app/frame/SourceView.h"

#include "app/frame/CloseButtonCell.h"
#include "app/frame/FeedRegistry.h"
#include "app/frame/SelectionController.h"
#include "app/frame/SideCell.h"
#include "app/frame/SourceItem.h"
#include "app/frame/SourceListArtwork.h"
#include "app/frame/SourceListStorage.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "uikit/PZAlert.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QLineEdit>
#include <QSet>

namespace ombrelay {

namespace {

const QString kSaveKey = QStringLiteral("save");
const QString kFeedsKey = QStringLiteral("feeds");
constexpr int kFeedsPerPass = 8;

void collect(const SourceItem& group, QList<SourceItem*>& items)
{
    for (int i = 0; i < group.childCount(); ++i) {
        SourceItem* child = group.child(i);
        items.append(child);
        if (child->isGroup())
            collect(*child, items);
    }
}

}  // namespace

SourceView::SourceView(Settings& settings, QWidget* parent)
    : PZOutlineView(parent), m_settings(settings), m_root(SourceItem::makeGroup({}, {}))
{
    SourceListArtwork::registerImages();
    addColumn(QStringLiteral("source"), QString(), 200, std::make_unique<SideCell>(*this));
    addColumn(QStringLiteral("CloseButtonCell"), QString(), 18, std::make_unique<CloseButtonCell>(*this));
    setUp(nullptr, nullptr);
    setHeaderHidden(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::Fixed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setExpandsOnDoubleClick(false);
    setMouseTracking(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAutoFillBackground(true);
    updateIndentation();
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (SourceItem* item = itemAt(index); item && !item->isExpanded() && !m_reloading) {
            item->setExpanded(true);
            saveToDefaults();
        }
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (SourceItem* item = itemAt(index); item && !m_reloading) {
            item->setExpanded(false);
            saveToDefaults();
            // A selected row that the collapse hides would stay the target of Delete, unseen: the folder
            // takes the selection, and the content follows it.
            if (SourceItem* selected = selectedItem(); selected && selected->isInside(item))
                selectObjects({item});
        }
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &SourceView::saveNow);
}

SourceView::~SourceView()
{
    PerformLater::cancel(this);
    setObjects({});
}

QPixmap SourceView::siteIcon(const QString& address) const
{
    return m_iconProvider ? m_iconProvider(address) : QPixmap();
}

SourceItem* SourceView::itemAt(const QModelIndex& index) const
{
    return static_cast<SourceItem*>(objectAt(index));
}

// Storage.

void SourceView::loadFromDefaults()
{
    PerformLater::cancel(this, kFeedsKey);
    m_mouseOverItem = m_dragSource = m_pendingRename = m_awaitingRemoval = nullptr;
    endEditing(false);
    std::unique_ptr<SourceItem> loaded = SourceListStorage::load(m_settings);
    m_reloading = true;
    setObjects({});
    m_root = std::move(loaded);
    m_reloading = false;
    reloadContainer(m_root.get());
    updateIndentation();
    QList<SourceItem*> feeds;
    for (SourceItem* item : allItems()) {
        if (item->isRSS())
            feeds.append(item);
    }
    PerformLater::schedule(this, [this, feeds] { startNextFeeds(feeds); }, 0, kFeedsKey);
}

void SourceView::startNextFeeds(QList<SourceItem*> pending)
{
    const QList<SourceItem*> items = allItems();
    const QSet<SourceItem*> present(items.cbegin(), items.cend());
    for (int started = 0; started < kFeedsPerPass && !pending.isEmpty();) {
        SourceItem* item = pending.takeFirst();
        if (!present.contains(item))
            continue;
        if (m_feeds)
            m_feeds->startFeed(item->url(), item->name());
        if (m_selection)
            m_selection->controllerForItem(item);
        ++started;
    }
    if (!pending.isEmpty())
        PerformLater::schedule(this, [this, pending] { startNextFeeds(pending); }, 0, kFeedsKey);
}

void SourceView::saveToDefaults()
{
    PerformLater::scheduleOnce(this, [this] { saveNow(); }, 0, kSaveKey);
}

void SourceView::saveNow()
{
    PerformLater::cancel(this, kSaveKey);
    SourceListStorage::save(m_settings, *m_root);
}

// The tree.

QList<SourceItem*> SourceView::allItems() const
{
    QList<SourceItem*> items;
    collect(*m_root, items);
    return items;
}

QList<SourceItem*> SourceView::visibleItems() const
{
    QList<SourceItem*> items;
    for (QModelIndex row = model()->index(0, 0); row.isValid(); row = indexBelow(row))
        items.append(itemAt(row));
    return items;
}

bool SourceView::containsItem(const SourceItem* item) const
{
    if (!item)
        return false;
    return allItems().contains(const_cast<SourceItem*>(item));
}

SourceItem* SourceView::parentGroupOfItem(const SourceItem* item) const
{
    if (!containsItem(item) || item->parent() == m_root.get())
        return nullptr;
    return item->parent();
}

bool SourceView::hasGroup() const
{
    for (int i = 0; i < m_root->childCount(); ++i) {
        if (m_root->child(i)->isGroup())
            return true;
    }
    return false;
}

void SourceView::updateIndentation()
{
    const bool folders = hasGroup();
    setIndentation(folders ? 16 : 0);
    setRootIsDecorated(folders);
}

void SourceView::expandGroups(const SourceItem& group)
{
    for (int i = 0; i < group.childCount(); ++i) {
        SourceItem* child = group.child(i);
        if (!child->isGroup())
            continue;
        if (child->isExpanded())
            expand(indexForObject(child));
        expandGroups(*child);
    }
}

void SourceView::reloadContainer(SourceItem* group)
{
    const bool wasReloading = std::exchange(m_reloading, true);
    saveSelectedObjects();
    if (!group || group == m_root.get()) {
        QList<PZOutlineObject*> top;
        top.reserve(m_root->childCount());
        for (int i = 0; i < m_root->childCount(); ++i)
            top.append(m_root->child(i));
        setObjects(top);
        expandGroups(*m_root);
    } else {
        reloadChildren(group);
        expandGroups(*group);
    }
    restoreSelectedObjects();
    m_reloading = wasReloading;
}

// Adding and finding.

SourceItem* SourceView::findExistingQuery(const QString& terms) const
{
    const QString wanted = SourceItem::cleanedText(terms).toLower();
    for (SourceItem* item : allItems()) {
        if (item->isQuery() && item->name().trimmed().toLower() == wanted)
            return item;
    }
    return nullptr;
}

SourceItem* SourceView::findExistingSubscription(const QString& address) const
{
    const QString wanted = address.trimmed().toLower();
    for (SourceItem* item : allItems()) {
        if (item->isRSS() && item->url().trimmed().toLower() == wanted)
            return item;
    }
    return nullptr;
}

void SourceView::addNewQueryForString(const QString& terms)
{
    const QString cleaned = SourceItem::cleanedText(terms);
    if (cleaned.isEmpty())
        return;
    if (SourceItem* existing = findExistingQuery(cleaned)) {
        selectItem(existing);
        return;
    }
    addNewItem(SourceItem::makeQuery(cleaned), true);
}

void SourceView::addNewSubscriptionForAddress(const QString& address, const QString& name)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return;
    if (SourceItem* existing = findExistingSubscription(trimmed)) {
        selectItem(existing);
        return;
    }
    SourceItem* item = addNewItem(SourceItem::makeRSS(name, trimmed), false);
    if (m_feeds)
        m_feeds->startFeed(item->url(), item->name());
    if (m_selection)
        m_selection->controllerForItem(item);
}

void SourceView::addNewFolder()
{
    auto folder = SourceItem::makeGroup(QStringLiteral("Group"), QDateTime::currentDateTimeUtc());
    SourceItem* added = folder.get();
    m_root->insertChild(m_root->childCount(), std::move(folder));
    updateIndentation();
    reloadContainer(m_root.get());
    selectItem(added);
    saveToDefaults();
    editItem(added);
}

SourceItem* SourceView::addNewItem(std::unique_ptr<SourceItem> item, bool toSelectedGroup)
{
    SourceItem* container = m_root.get();
    if (toSelectedGroup) {
        if (SourceItem* selected = selectedItem())
            container = selected->isGroup() ? selected : selected->parent();
    }
    SourceItem* added = item.get();
    container->insertChild(container->childCount(), std::move(item));
    if (container == m_root.get()) {
        m_reloading = true;
        addObject(added);
        m_reloading = false;
    } else {
        reloadContainer(container);
    }
    selectItem(added);
    saveToDefaults();
    return added;
}

// Selection.

SourceItem* SourceView::selectedItem() const
{
    const QList<SourceItem*> items = selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

QList<SourceItem*> SourceView::selectedItems() const
{
    QList<SourceItem*> items;
    for (PZOutlineObject* object : selectedObjects())
        items.append(static_cast<SourceItem*>(object));
    return items;
}

void SourceView::selectItem(SourceItem* item)
{
    if (!containsItem(item))
        return;
    for (SourceItem* up = item->parent(); up && up != m_root.get(); up = up->parent())
        expand(indexForObject(up));
    selectObjects({item});
    scrollToItem(item);
}

void SourceView::scrollToItem(SourceItem* item)
{
    const QModelIndex index = indexForObject(item);
    if (index.isValid())
        scrollTo(index);
}

void SourceView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    PZOutlineView::selectionChanged(selected, deselected);
    if (!m_reloading)
        emit sourceSelectionDidChange();
}

// Removing.

void SourceView::removeSelectedItem()
{
    removeItem(selectedItem());
}

void SourceView::removeItem(SourceItem* item)
{
    if (!containsItem(item))
        return;
    PZAlert alert;
    if (item->isGroup() && item->childCount() > 0) {
        alert = {tr("Are you sure you want to remove the folder named \"%1\"?").arg(item->name()),
                 tr("The folder and all its contents will be removed.  This cannot be undone."),
                 {tr("Remove Folder"), tr("Cancel")}};
    } else if (item->isRSS()) {
        alert = {tr("Are you sure you want to remove the torrentcast subscription named \"%1\"?").arg(item->name()),
                 tr("The torrentcast subscription and all its contents will be removed.  This cannot be undone."),
                 {tr("Remove Torrentcast"), tr("Cancel")}};
    } else {
        removeItemNow(item);
        return;
    }
    m_awaitingRemoval = item;
    PZAlert::run(alert, window(), [this, item](int button) {
        // Cleared when the item left the list meanwhile, so a new item at its address is never hit.
        if (button == 0 && m_awaitingRemoval == item)
            removeItemNow(item);
        if (m_awaitingRemoval == item)
            m_awaitingRemoval = nullptr;
    });
}

void SourceView::stopFeedsIn(const SourceItem& item, const QList<SourceItem*>& remaining)
{
    if (!m_feeds)
        return;
    QList<SourceItem*> removed{const_cast<SourceItem*>(&item)};
    collect(item, removed);
    QSet<QString> kept;
    for (const SourceItem* other : remaining) {
        if (other->isRSS())
            kept.insert(other->url().trimmed().toLower());
    }
    QSet<QString> stopped;
    for (const SourceItem* gone : removed) {
        const QString key = gone->url().trimmed().toLower();
        if (gone->isRSS() && !kept.contains(key) && !stopped.contains(key)) {
            stopped.insert(key);
            m_feeds->removeFeedWithAddress(gone->url());
        }
    }
}

void SourceView::removeItemNow(SourceItem* item)
{
    if (!containsItem(item))
        return;
    SourceItem* remembered = selectedItem();
    if (remembered == item || (remembered && remembered->isInside(item)))
        remembered = nullptr;
    auto clearIfInside = [item](SourceItem*& pointer) {
        if (pointer == item || (pointer && pointer->isInside(item)))
            pointer = nullptr;
    };
    if (m_pendingRename == item || (m_pendingRename && m_pendingRename->isInside(item)))
        PerformLater::cancel(this, QStringLiteral("rename"));
    clearIfInside(m_pendingRename);
    clearIfInside(m_awaitingRemoval);
    clearIfInside(m_mouseOverItem);
    clearIfInside(m_dragSource);
    if (m_editedItem == item || (m_editedItem && m_editedItem->isInside(item)))
        endEditing(false);
    if (m_selection)
        m_selection->removeItem(item);

    SourceItem* container = item->parent();
    std::unique_ptr<SourceItem> taken = container->takeChild(container->indexOfChild(item));
    stopFeedsIn(*taken, allItems());
    updateIndentation();
    m_reloading = true;
    if (container == m_root.get())
        removeObjects({taken.get()});
    else
        reloadContainer(container);
    if (remembered)
        selectObjects({remembered});
    else
        clearSelection();
    m_reloading = false;
    taken.reset();
    emit sourceSelectionDidChange();
    saveToDefaults();
}

// Drops.

bool SourceView::validateDrop(const SourceItem* source, const SourceItem* target, int childIndex) const
{
    if (!source || !containsItem(source) || (target && !containsItem(target)))
        return false;
    if (target && !target->isGroup())
        return false;
    if (childIndex < 0 && (!target || target == source->parent()))
        return false;
    return target != source && !(target && target->isInside(source));
}

bool SourceView::acceptDrop(SourceItem* source, SourceItem* target, int childIndex)
{
    if (!validateDrop(source, target, childIndex))
        return false;
    SourceItem* from = source->parent();
    SourceItem* to = target ? target : m_root.get();
    const int oldIndex = from->indexOfChild(source);
    const bool wasSelected = selectedItems().contains(source);
    std::unique_ptr<SourceItem> moved = from->takeChild(oldIndex);
    if (childIndex < 0)
        childIndex = to->childCount();
    else if (from == to && oldIndex < childIndex)
        --childIndex;
    to->insertChild(childIndex, std::move(moved));
    reloadContainer(m_root.get());
    // Moved into a collapsed folder, the selected item stays selected: its folder opens, and the pane
    // it shows stays in agreement with the list.
    if (wasSelected && !selectedItems().contains(source))
        selectItem(source);
    saveToDefaults();
    return true;
}

}  // namespace ombrelay
