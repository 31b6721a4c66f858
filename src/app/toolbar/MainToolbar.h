#pragma once

#include <QStringList>
#include <QToolBar>

class QWidgetAction;

namespace ombrelay {

class ToolbarDelegate;

// The main window's toolbar: a delegate's items in the user's arrangement, with the separators and spaces
// made here (as many as arranged). With icon and text each item's label stands under it, in a row below
// the items (a click on the label of a button clicks the button), drawn in its item's state, and an item
// is at least as wide as its label; with text only, icon buttons show their label instead of their icon.
// A change of display mode posts "ToolbarModeDidChangeNotification". Its context menu offers
// "Customize Toolbar…".
class MainToolbar : public QToolBar
{
    Q_OBJECT
public:
    explicit MainToolbar(QWidget* parent = nullptr);

    // `items` in order: each from `delegate`, but the separators and spaces.
    void setItems(ToolbarDelegate& delegate, const QStringList& items);
    QStringList itemIdentifiers() const { return m_identifiers; }
    // Where the label of `item` stands; empty when no label shows.
    QRect labelRect(QAction* item) const;

signals:
    void customizeRequested();

protected:
    void actionEvent(QActionEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int labelHeight() const;
    void styleChanged();
    QAction* makeStandardItem(const QString& identifier);
    // Sizes and styles the items' views for the display mode.
    void followStyle();
    void fitItem(QWidgetAction* item);

    QStringList m_identifiers;
    QObject* m_standardItems = nullptr;  // the separators and spaces shown now
};

}  // namespace ombrelay
