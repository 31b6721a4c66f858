#include "app/shell/WindowCloseRequests.h"

#include <QApplication>
#include <QtGui/qguiapplication_platform.h>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace ombrelay {

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return value;
}

}  // namespace

WindowCloseRequests::WindowCloseRequests(QWidget* window, QObject* parent) : QObject(parent), m_window(window)
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    m_protocols = atom(x11->connection(), "WM_PROTOCOLS");
    m_deleteWindow = atom(x11->connection(), "WM_DELETE_WINDOW");
    qApp->installNativeEventFilter(this);
}

WindowCloseRequests::~WindowCloseRequests()
{
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

bool WindowCloseRequests::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !m_window || !m_protocols)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* request = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if (request->type != m_protocols || request->data.data32[0] != m_deleteWindow)
        return false;
    // Without a modal window up the toolkit delivers the close to the window itself.
    if (!QApplication::activeModalWidget() || !m_window->testAttribute(Qt::WA_WState_Created)
        || request->window != xcb_window_t(m_window->winId()))
        return false;
    QMetaObject::invokeMethod(this, &WindowCloseRequests::closeRequested, Qt::QueuedConnection);
    return true;
}

}  // namespace ombrelay
