#pragma once

#include <QLineEdit>

namespace ombrelay {

// The search field of a filter bar. Tab and Shift-Tab both leave it for the list of the main window's
// current content (selecting its first row when nothing is selected), or for the source list when
// there is no such list (KeyViewLoop).
class FilterSearchField : public QLineEdit
{
    Q_OBJECT
public:
    explicit FilterSearchField(QWidget* parent = nullptr);

    static QWidget* nextValidKeyView();
    static QWidget* previousValidKeyView() { return nextValidKeyView(); }

protected:
    bool focusNextPrevChild(bool next) override;
};

}  // namespace ombrelay
