#pragma once

#include <QWidget>
#include <functional>

class QAbstractItemView;

namespace ombrelay {

// Where Tab and Shift+Tab lead between the main window's parts: the source list, the toolbar search
// field, the transfers row and the list of the shown content. The application names the parts once;
// the views below it ask here.
class KeyViewLoop
{
public:
    struct Parts
    {
        std::function<QWidget*()> content;  // the view the main window shows now
        std::function<QWidget*()> sourceList;
        std::function<QWidget*()> searchField;
        std::function<QWidget*()> statsRow;
    };
    static void install(Parts parts);

    // The list of a view: a list among its direct children first, then depth-first in each child; pages
    // hidden by a stack (the other tabs of a pane) and popups are passed over.
    static QAbstractItemView* listInView(QWidget* view);
    // The list of the shown content, null for none.
    static QAbstractItemView* currentList();
    // The same, its first row selected when none is.
    static QAbstractItemView* currentListWithRowSelected();
    static QWidget* sourceList();
    static QWidget* searchField();
    static QWidget* statsRow();

    // Focuses the target as Tab (next) or Shift+Tab would; false when there is none to focus.
    static bool moveFocus(QWidget* target, bool next);
};

}  // namespace ombrelay
