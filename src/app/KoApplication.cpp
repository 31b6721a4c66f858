#include "app/KoApplication.h"

#include <QMouseEvent>
#include <exception>

namespace ombrelay {

KoApplication::KoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KoApplication::notify(QObject* receiver, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && m_controlClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && mouse->modifiers().testFlag(Qt::ControlModifier) &&
            receiver->isWidgetType())
            m_controlClick();
    }
    return deliverGuarded([&] { return QApplication::notify(receiver, event); });
}

bool KoApplication::deliverGuarded(const std::function<bool()>& deliver)
{
    try {
        return deliver();
    } catch (const std::exception& exception) {
        fprintf(stderr, "*** uncaught exception: %s\n", exception.what());
    } catch (...) {
        fprintf(stderr, "*** uncaught exception: (not a std::exception)\n");
    }
    return false;
}

}  // namespace ombrelay
