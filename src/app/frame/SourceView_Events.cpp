#include "app/frame/SourceView.h"

#include "app/frame/SelectionController.h"
#include "app/frame/SourceItem.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/ServiceAddresses.h"
#include "kit/TextHelpers.h"
#include "uikit/KeyViewLoop.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDrag>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace ombrelay {

namespace {

const QString kRenameKey = QStringLiteral("rename");
const QString kDragType = QStringLiteral("SourceViewType");
constexpr int kRenameDelayMs = 300;
// The icon sits in the first 18 pixels of the cell: clicks there never rename.
constexpr int kNameStart = 18;

}  // namespace

QRect SourceView::cellFrame(const SourceItem* item) const
{
    return visualRect(indexForObject(item, 0));
}

// Hover over search icons.

void SourceView::setMouseOverItem(SourceItem* item)
{
    if (item == m_mouseOverItem)
        return;
    m_mouseOverItem = item;
    viewport()->update();
}

void SourceView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    SourceItem* over = itemAt(indexAt(position));
    if (over && over->isQuery()) {
        const QRect frame = cellFrame(over);
        if (!QRect(frame.x() + 2, frame.y() + 1, 20, 20).contains(position))
            over = nullptr;
    } else {
        over = nullptr;
    }
    setMouseOverItem(over);
    if (m_pressMayDrag && (event->buttons() & Qt::LeftButton)
        && (position - m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
        m_pressMayDrag = false;
        PerformLater::cancel(this, kRenameKey);
        startDrag(Qt::MoveAction);
        return;
    }
    if (!(event->buttons() & Qt::LeftButton))
        PZOutlineView::mouseMoveEvent(event);
}

void SourceView::leaveEvent(QEvent* event)
{
    setMouseOverItem(nullptr);
    PZOutlineView::leaveEvent(event);
}

// Clicks and renaming.

void SourceView::mousePressEvent(QMouseEvent* event)
{
    m_pressPosition = event->position().toPoint();
    m_pressItem = itemAt(indexAt(m_pressPosition));
    m_selectedBeforePress = selectedItem();
    m_pressMayDrag = event->button() == Qt::LeftButton && m_pressItem;
    // The focus comes with the press, before this runs; the flag it sets may be cleared before the
    // button goes up, so the press keeps it.
    m_pressFocusedList = m_justBecameFirstResponder;
    if (event->button() == Qt::LeftButton && !m_pressItem) {
        clearSelection();
        setFocus(Qt::MouseFocusReason);
        return;
    }
    PZOutlineView::mousePressEvent(event);
}

void SourceView::mouseReleaseEvent(QMouseEvent* event)
{
    PZOutlineView::mouseReleaseEvent(event);
    m_pressMayDrag = false;
    const QPoint position = event->position().toPoint();
    SourceItem* item = m_pressItem;
    m_pressItem = nullptr;
    const bool pressFocusedList = std::exchange(m_pressFocusedList, false);
    if (std::exchange(m_doubleClicked, false)) {
        PerformLater::cancel(this, kRenameKey);
        return;
    }
    if (event->button() != Qt::LeftButton || position != m_pressPosition || !item
        || pressFocusedList || m_justBecameFirstResponder)
        return;
    const QModelIndex index = indexAt(position);
    if (index.column() != 0 || itemAt(index) != item || !(item->isGroup() || item->isRSS())
        || position.x() < cellFrame(item).x() + kNameStart) {
        PerformLater::cancel(this, kRenameKey);
        return;
    }
    if (item != m_selectedBeforePress) {
        PerformLater::cancel(this, kRenameKey);
        return;
    }
    m_pendingRename = item;
    PerformLater::schedule(this, [this] {
        SourceItem* pending = std::exchange(m_pendingRename, nullptr);
        if (containsItem(pending))
            editItem(pending);
    }, kRenameDelayMs, kRenameKey);
}

void SourceView::mouseDoubleClickEvent(QMouseEvent* event)
{
    PerformLater::cancel(this, kRenameKey);
    m_pendingRename = nullptr;
    m_doubleClicked = true;
    const QModelIndex index = indexAt(event->position().toPoint());
    SourceItem* item = itemAt(index);
    if (item && item == selectedItem() && item->isGroup())
        setExpanded(index.siblingAtColumn(0), !isExpanded(index.siblingAtColumn(0)));
}

void SourceView::editItem(SourceItem* item)
{
    endEditing(false);
    if (!containsItem(item) || item->isQuery())
        return;
    scrollToItem(item);
    const QRect frame = cellFrame(item);
    m_editedItem = item;
    m_editor = new QLineEdit(viewport());
    m_editor->setFrame(false);
    // The list's own palette hides the style's selection band; the editor's selection shows.
    QPalette look = m_editor->palette();
    look.setColor(QPalette::Base, Qt::white);
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        look.setColor(role, QApplication::palette().color(QPalette::Active, role));
    m_editor->setPalette(look);
    m_editor->setAutoFillBackground(true);
    m_editor->setMaxLength(SourceItem::kMaxNameLength);
    m_editor->setGeometry(frame.x() + 22, frame.y() + 1, std::max(0, frame.width() - 22), frame.height() - 2);
    m_editor->setText(item->name());
    m_editor->selectAll();
    m_editor->installEventFilter(this);
    connect(m_editor, &QLineEdit::editingFinished, this, [this] { endEditing(true); });
    m_editor->show();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void SourceView::endEditing(bool accept)
{
    QLineEdit* editor = std::exchange(m_editor, nullptr);
    SourceItem* item = std::exchange(m_editedItem, nullptr);
    if (!editor)
        return;
    editor->removeEventFilter(this);
    editor->disconnect(this);
    const QString name = SourceItem::cleanedText(editor->text());
    editor->hide();
    editor->deleteLater();
    // A blank name keeps the old one.
    if (accept && containsItem(item) && !name.isEmpty() && name != item->name()) {
        item->setName(name);
        if (m_selection)
            m_selection->itemChanged(item);
        saveToDefaults();
    }
    viewport()->update();
    setFocus(Qt::OtherFocusReason);
    m_justBecameFirstResponder = false;
}

bool SourceView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        endEditing(false);
        return true;
    }
    return PZOutlineView::eventFilter(watched, event);
}

// Keys and focus.

void SourceView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        removeItem(selectedItem());
        return;
    }
    PZOutlineView::keyPressEvent(event);
}

bool SourceView::focusNextPrevChild(bool next)
{
    QWidget* target = KeyViewLoop::searchField();
    if (next) {
        if (QWidget* list = KeyViewLoop::currentList())
            target = list;
    }
    return KeyViewLoop::moveFocus(target, next) || PZOutlineView::focusNextPrevChild(next);
}

void SourceView::focusInEvent(QFocusEvent* event)
{
    PZOutlineView::focusInEvent(event);
    m_justBecameFirstResponder = true;
    PerformLater::schedule(this, [this] { m_justBecameFirstResponder = false; }, 0, QStringLiteral("focus"));
    postNotificationAboutSelf(this, QStringLiteral("NSResponderBecameFirstResponderNotification"));
}

// The context menu.

QUrl SourceView::shoppingSearchURL(const QString& terms)
{
    return QUrl(QStringLiteral("https://%1%2%3")
                    .arg(QLatin1String(service::kShoppingSearchHost), QLatin1String(service::kShoppingSearchPath),
                         escapedString(SourceItem::cleanedText(terms))),
                QUrl::StrictMode);
}

QMenu* SourceView::menuForItem(SourceItem* item)
{
    auto* menu = new QMenu(this);
    if (item && item->isQuery() && !item->name().isEmpty()) {
        const QString terms = item->name();
        menu->addAction(tr("Search the Shopping Site for “%1”…").arg(terms),
                        [terms] { QDesktopServices::openUrl(shoppingSearchURL(terms)); });
    }
    return menu;
}

void SourceView::contextMenuEvent(QContextMenuEvent* event)
{
    SourceItem* item = itemAt(indexAt(event->pos()));
    if (item)
        selectObjects({item});
    else
        clearSelection();
    setFocus(Qt::PopupFocusReason);
    QMenu* menu = menuForItem(item);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (menu->isEmpty())
        delete menu;
    else
        menu->popup(event->globalPos());
}

// Dragging within the list.

void SourceView::startDrag(Qt::DropActions)
{
    m_dragSource = selectedItem();
    if (!m_dragSource)
        return;
    auto* data = new QMimeData;
    data->setData(kDragType, QByteArray());
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
    m_dragSource = nullptr;
}

bool SourceView::proposedDrop(const QPoint& position, SourceItem** target, int* childIndex) const
{
    const QModelIndex index = indexAt(position);
    SourceItem* item = itemAt(index);
    if (!item) {
        *target = nullptr;
        *childIndex = m_root->childCount();
        return true;
    }
    const QRect row = visualRect(index);
    const int y = position.y() - row.y();
    SourceItem* container = item->parent();
    if (item->isGroup() && y >= row.height() / 4 && y < row.height() * 3 / 4) {
        *target = item;
        *childIndex = -1;
        return true;
    }
    *target = container == m_root.get() ? nullptr : container;
    *childIndex = container->indexOfChild(item) + (y >= row.height() / 2 ? 1 : 0);
    return true;
}

void SourceView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->source() == this && m_dragSource && event->mimeData()->hasFormat(kDragType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void SourceView::dragMoveEvent(QDragMoveEvent* event)
{
    SourceItem* target = nullptr;
    int childIndex = -1;
    if (event->source() == this && m_dragSource && proposedDrop(event->position().toPoint(), &target, &childIndex)
        && validateDrop(m_dragSource, target, childIndex)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SourceView::dropEvent(QDropEvent* event)
{
    SourceItem* target = nullptr;
    int childIndex = -1;
    if (event->source() == this && m_dragSource && proposedDrop(event->position().toPoint(), &target, &childIndex)
        && acceptDrop(m_dragSource, target, childIndex)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace ombrelay
