#pragma once

#include "uikit/PZOutlineObject.h"
#include "uikit/PZOutlineView.h"

#include <QPointer>
#include <QVariantMap>
#include <memory>
#include <vector>

class QAbstractButton;
class QMimeData;

namespace ombrelay {

class SearchSiteSheet;

// The search sites of the general pane: the built-in sites, which are only switched on and off, a thin
// separator once there is a user site, then the user's own sites, which are also added, edited, dragged
// into another order and removed. Every change is stored under "kSearchSites" at once, which running
// searches follow; the table follows the stored sites in turn.
class SearchSitesTableView : public PZOutlineView
{
    Q_OBJECT
public:
    static constexpr int kRowHeight = 25;
    static constexpr int kSeparatorHeight = 15;
    static const QString kDragType;  // "ShortcutsTableViewType": the dragged row as decimal text

    // One row of the table: a site, or the separator (no site).
    class Row : public PZOutlineObject
    {
    public:
        int row = -1;
        bool isSeparator = false;
        bool isUserSite = false;
        QVariantMap site;
    };
    static const Row* rowOf(const PZOutlineObject* object);

    explicit SearchSitesTableView(QWidget* parent = nullptr);
    ~SearchSitesTableView() override;

    int numberOfRows() const { return int(m_rows.size()); }
    // The row's site; empty for the separator and rows out of range.
    QVariantMap objectAtIndex(int row) const;
    int userModuleIndexFromIndex(int row) const;
    bool isUserSiteRow(int row) const;
    bool isSeparatorRow(int row) const;
    // Where the row's cell of a column is drawn, in viewport coordinates.
    QRect cellRect(int row, int column) const;

    // Enabled only while a user site is selected.
    void setRemoveButton(QAbstractButton* button);
    int selectedRow() const;
    void selectRow(int row);
    int editingRow() const { return m_editingRow; }
    void setEditingRow(int row) { m_editingRow = row; }

    // A user site gets "isEnabled" "1" or "0", a built-in one is switched in "kEnabledSystemModules";
    // both post "EnabledSearchSitesDidChangeNotification".
    void enable(bool enabled, int row);
    void add();
    void addDone();
    void addCancel();
    // Opens the edit sheet for the editing row when it holds a user site.
    void edit();
    void editDone();
    void editCancel();
    // Asks, then removes the selected user site.
    void remove();
    // Asks, then puts back the default user sites; the built-in sites keep their states.
    void resetToDefaults();
    // Edits the clicked user site, unless another row is selected.
    void doubleClick(int row);

    // Reordering: only user sites are dragged, only below the separator dropped, only drags of this
    // table accepted.
    bool canDragRow(int row) const;
    QMimeData* mimeDataForRow(int row) const;
    // The row a drop is proposed above at a point of the viewport.
    int proposedDropRow(const QPoint& position) const;
    bool validateDrop(const QMimeData* data, int proposedRow) const;
    bool acceptDrop(const QMimeData* data, int row);

    SearchSiteSheet* addSheet() const { return m_addSheet; }
    SearchSiteSheet* editSheet() const { return m_editSheet; }

    int heightOfRow(const PZOutlineObject& object, int level) const override;
    bool isGroupItem(const PZOutlineObject& object) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void reloadData();
    int rowAt(const QModelIndex& index) const;  // -1 for no row
    void updateRemoveButton();
    void saveUserModules(const QList<QVariantMap>& sites);
    // The dragged row a drag of this table carries; -1 for any other drag.
    int draggedRow(const QMimeData* data) const;
    void startRowDrag(int row);
    bool isOverControl(const QPoint& position) const;

    std::vector<std::unique_ptr<Row>> m_rows;
    QPointer<QAbstractButton> m_removeButton;
    SearchSiteSheet* m_addSheet;
    SearchSiteSheet* m_editSheet;
    int m_editingRow = -1;
    QVariantMap m_editedSite;
    QByteArray m_dragToken;
    int m_pressRow = -1;
    QPoint m_pressPosition;
    int m_dropRow = -1;
};

}  // namespace ombrelay
