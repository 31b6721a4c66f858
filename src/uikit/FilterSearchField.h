#pragma once

#include <QLineEdit>
#include <functional>

class QAbstractItemView;

namespace ombrelay {

// The search field of a filter bar. Tab and Shift-Tab both leave it for the list of the main window's
// current content (selecting its first row when nothing is selected), or for the source list when
// there is no such list. The application answers those two questions through setKeyViews.
class FilterSearchField : public QLineEdit
{
    Q_OBJECT
public:
    using CurrentTableView = std::function<QAbstractItemView*()>;
    using SourceList = std::function<QWidget*()>;

    explicit FilterSearchField(QWidget* parent = nullptr);

    static void setKeyViews(CurrentTableView currentTableView, SourceList sourceList);
    QWidget* nextValidKeyView() const;
    QWidget* previousValidKeyView() const { return nextValidKeyView(); }

protected:
    bool focusNextPrevChild(bool next) override;
};

}  // namespace ombrelay
