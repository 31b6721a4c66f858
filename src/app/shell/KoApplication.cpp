#include "app/shell/KoApplication.h"

#include <QMouseEvent>
#include <exception>

namespace ombrelay {

KoApplication::KoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KoApplication::notify(QObject* receiver, QEvent* event)
{
    if (m_controlClick && isControlClick(receiver, event))
        m_controlClick();
    return deliverGuarded([&] { return QApplication::notify(receiver, event); });
}

bool KoApplication::isControlClick(const QObject* receiver, const QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress || !receiver || !receiver->isWidgetType())
        return false;
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    return mouse->button() == Qt::LeftButton && mouse->modifiers().testFlag(Qt::ControlModifier);
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
