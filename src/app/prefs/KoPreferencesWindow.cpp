#include "app/prefs/KoPreferencesWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace ombrelay {

void KoPreferencesWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void KoPreferencesWindow::closeEvent(QCloseEvent* event)
{
    // Ordered out, never destroyed: it keeps its pane and place for the next showing.
    event->ignore();
    hide();
}

void KoPreferencesWindow::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        emit willHide();
    QMainWindow::hideEvent(event);
}

}  // namespace ombrelay
