#include "toolWindow.h"

#include <QGuiApplication>
#include <QWidget>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace morvant {

void keepOutOfTaskbar(QWidget *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return; // Wayland decides for itself
    xcb_connection_t *connection = x11->connection();
    const auto atom = [connection](const char *name) {
        const auto cookie = xcb_intern_atom(connection, 0, quint16(std::strlen(name)), name);
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
    // Set before the window is first mapped; Qt keeps states it does not manage.
    const xcb_atom_t states[] = { atom("_NET_WM_STATE_SKIP_TASKBAR"),
        atom("_NET_WM_STATE_SKIP_PAGER") };
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
        atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, states);
}
#else
// A Qt built without X11 leaves it to the window system.
void keepOutOfTaskbar(QWidget *) { }
#endif

Qt::WindowType toolWindowKind()
{
    return Qt::Window;
}

} // namespace morvant
