#pragma once

#include <QString>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace ombrelay::test {

// What a window manager sends when a window's close button is clicked (WM_DELETE_WINDOW), sent to
// `window` on `display` (":N"; the environment's when empty). Links xcb.
inline bool clickCloseButton(const QString& display, quint32 window)
{
    xcb_connection_t* connection = xcb_connect(display.isEmpty() ? nullptr : qPrintable(display), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    const auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return value;
    };
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = window;
    request.type = atom("WM_PROTOCOLS");
    request.data.data32[0] = atom("WM_DELETE_WINDOW");
    request.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&request));
    // A round trip: the server has taken the request before the connection closes.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
    return true;
}

}  // namespace ombrelay::test
