#include "app/web/ModifierKeys.h"

#include <QCoreApplication>
#include <QInputEvent>
#include <QKeyEvent>

namespace ombrelay {

ModifierKeys::ModifierKeys()
{
    QCoreApplication::instance()->installEventFilter(this);
}

ModifierKeys& ModifierKeys::instance()
{
    static ModifierKeys* keys = new ModifierKeys;  // lives as long as the process
    return *keys;
}

bool ModifierKeys::eventFilter(QObject*, QEvent* event)
{
    Qt::KeyboardModifiers now = m_current;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // A modifier key's own event still reports the state before it.
        const auto* key = static_cast<QKeyEvent*>(event);
        now = key->modifiers();
        const Qt::KeyboardModifier own = key->key() == Qt::Key_Shift ? Qt::ShiftModifier
            : key->key() == Qt::Key_Control                         ? Qt::ControlModifier
            : key->key() == Qt::Key_Alt                             ? Qt::AltModifier
                                                                    : Qt::NoModifier;
        if (own != Qt::NoModifier)
            now.setFlag(own, event->type() == QEvent::KeyPress);
        break;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::Enter:
        if (event->isInputEvent())
            now = static_cast<QInputEvent*>(event)->modifiers();
        break;
    default:
        return false;
    }
    if (now != m_current) {
        m_current = now;
        emit changed(now);
    }
    return false;
}

}  // namespace ombrelay
