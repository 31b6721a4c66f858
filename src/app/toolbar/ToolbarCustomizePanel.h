#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QComboBox;
class QListWidget;
class QPushButton;

namespace ombrelay {

// "Customize Toolbar…": the toolbar's items in order beside those it may still take (the separator and
// the spaces always), to add, remove (the search field stays) and reorder, by buttons or by dragging;
// the default set back; and the display mode. Each change is reported at once, so the toolbar follows
// while the panel is up.
class ToolbarCustomizePanel : public QDialog
{
    Q_OBJECT
public:
    struct Choices
    {
        QStringList allowed;
        QStringList defaults;
        QStringList items;
        std::function<QString(const QString& identifier)> label;
        int displayMode = 1;  // 1 icon and text, 2 icon only, 3 text only
    };

    explicit ToolbarCustomizePanel(Choices choices, QWidget* parent = nullptr);

    QStringList items() const;
    QListWidget* itemsList() const { return m_itemsList; }
    QListWidget* availableList() const { return m_availableList; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    QPushButton* upButton() const { return m_up; }
    QPushButton* downButton() const { return m_down; }
    QPushButton* defaultsButton() const { return m_defaults; }
    QComboBox* displayModeBox() const { return m_displayMode; }

signals:
    void itemsChanged(const QStringList& items);
    void displayModeChanged(int mode);

private:
    QString labelOf(const QString& identifier) const;
    // Fills both lists, the row `current` of the toolbar's chosen.
    void showItems(const QStringList& items, int current);
    void change(const QStringList& items, int current);
    void add();
    void remove();
    void move(int by);
    void updateButtons();

    Choices m_choices;
    QListWidget* m_itemsList;
    QListWidget* m_availableList;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
    QPushButton* m_defaults;
    QComboBox* m_displayMode;
};

}  // namespace ombrelay
