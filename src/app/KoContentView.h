#pragma once

#include <QStackedWidget>

namespace ombrelay {

// The main window's content switcher: shows one pane at a time (the transfers pane for now; search,
// feed and web panes join it). Later the source list sits beside it.
class KoContentView : public QStackedWidget
{
    Q_OBJECT
public:
    using QStackedWidget::QStackedWidget;

    // Adds the pane when it is new and shows it.
    void showView(QWidget* view);
    QWidget* currentView() const { return currentWidget(); }
};

}  // namespace ombrelay
