#include "app/frame/WindowComposition.h"

#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace ombrelay {

WindowComposition::WindowComposition(QWidget& window, std::function<void()> renew)
    : QObject(&window), m_window(window), m_renew(std::move(renew))
{
    window.installEventFilter(this);
}

bool WindowComposition::drawsThroughOpenGL() const
{
    const QWindow* native = m_window.windowHandle();
    return native && native->surfaceType() != QSurface::RasterSurface;
}

bool WindowComposition::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window || event->type() != QEvent::PlatformSurface)
        return false;
    switch (static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType()) {
    case QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed:
        // The window is no longer active, but its native window still holds the application's focus;
        // the widget that had the window's focus loses it on the way.
        m_hadFocus = QGuiApplication::focusWindow() == m_window.windowHandle();
        m_focusWidget = m_window.focusWidget();
        break;
    case QPlatformSurfaceEvent::SurfaceCreated:
        // After the work that made it anew, which may add more to the window.
        if (std::exchange(m_hadFocus, false))
            QMetaObject::invokeMethod(this, &WindowComposition::takeFocusBack, Qt::QueuedConnection);
        // Made anew for OpenGL by the renewal meant to end it, the window keeps it: what draws so is not
        // found, and renewing again would only repeat.
        if (drawsThroughOpenGL() && !m_renewing)
            QMetaObject::invokeMethod(this, &WindowComposition::watchOpenGLWidgets, Qt::QueuedConnection);
        break;
    }
    return false;
}

QList<QWidget*> WindowComposition::openGLWidgets() const
{
    QList<QWidget*> found = m_window.findChildren<QWidget*>();
    found.removeIf([](const QWidget* widget) {
        return !widget->inherits("QQuickWidget") && !widget->inherits("QOpenGLWidget");
    });
    return found;
}

// Each going of a watched widget looks again: one of those left is watched, until none is.
void WindowComposition::watchOpenGLWidgets()
{
    if (!drawsThroughOpenGL())
        return;
    const QList<QWidget*> drawing = openGLWidgets();
    if (drawing.isEmpty()) {
        m_renewing = true;
        m_renew();
        m_renewing = false;
        return;
    }
    for (QWidget* widget : drawing)
        connect(widget, &QObject::destroyed, this, &WindowComposition::watchOpenGLWidgets,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
}

void WindowComposition::takeFocusBack()
{
    if (!m_window.isVisible())
        return;
    // The widget may show only once the window is laid out again: given to it while the window is
    // inactive, the focus reaches it as the window becomes active.
    if (m_focusWidget && m_focusWidget->window() == &m_window)
        m_focusWidget->setFocus(Qt::ActiveWindowFocusReason);
    m_window.activateWindow();
}

}  // namespace ombrelay
