#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace ombrelay {

// Keeps a window composited by the raster engine while nothing in it draws through OpenGL, and its
// keyboard focus across each change. From the first widget that draws through OpenGL (a web view, where
// there is OpenGL) Qt composites the whole window through it, and makes its native window anew for that;
// every repaint then uploads the whole window, which costs a fifth of a core with the transfers list
// shown where OpenGL runs in software. Once the last such widget has gone, `renew` makes the native
// window anew for the raster engine. A native window made anew opens without the focus: it takes the
// focus back when the one it replaced had it.
class WindowComposition : public QObject
{
    Q_OBJECT
public:
    // `renew` destroys the window's native window and makes another, shown when the window is.
    WindowComposition(QWidget& window, std::function<void()> renew);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool drawsThroughOpenGL() const;
    QList<QWidget*> openGLWidgets() const;
    void watchOpenGLWidgets();
    void takeFocusBack();

    QWidget& m_window;
    std::function<void()> m_renew;
    bool m_hadFocus = false;
    bool m_renewing = false;
    QPointer<QWidget> m_focusWidget;
};

}  // namespace ombrelay
