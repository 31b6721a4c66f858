#pragma once

#include <QMainWindow>

namespace ombrelay {

// The preferences window: Escape orders it out; every way of hiding it tells the panes to commit the
// value being edited.
class KoPreferencesWindow : public QMainWindow
{
    Q_OBJECT
public:
    using QMainWindow::QMainWindow;

signals:
    void willHide();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace ombrelay
