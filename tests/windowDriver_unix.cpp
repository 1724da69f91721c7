#include "windowDriver.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

/// Runs xdotool, which drives the real program through the X server.
QString xdotool(const QStringList &arguments, bool *found = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    const bool finished = process.waitForFinished(10000);
    if (!finished)
        process.kill();
    if (found)
        *found = finished && process.exitCode() == 0;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

xcb_connection_t *xcbConnection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

} // namespace

quint32 xcbAtom(const char *name)
{
    const auto cookie = xcb_intern_atom(xcbConnection(), 0, quint16(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(xcbConnection(), cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

QList<quint32> windowProperty(WId window, const char *name)
{
    const auto cookie = xcb_get_property(
        xcbConnection(), 0, xcb_window_t(window), xcbAtom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(xcbConnection(), cookie, nullptr);
    QList<quint32> values;
    if (reply && reply->format == 32) {
        const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply));
        values = QList<quint32>(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

QStringList visibleWindows(qint64 pid)
{
    return xdotool({ QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--pid"), QString::number(pid) })
        .split(u'\n', Qt::SkipEmptyParts);
}

QSize windowSize(const QString &window)
{
    const QString shell =
        xdotool({ QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window });
    QSize size;
    for (const QString &line : shell.split(u'\n')) {
        if (line.startsWith(u"WIDTH="))
            size.setWidth(line.mid(6).toInt());
        else if (line.startsWith(u"HEIGHT="))
            size.setHeight(line.mid(7).toInt());
    }
    return size;
}

QString shownWindow(qint64 pid, const QString &title)
{
    bool found = false;
    const QString windows =
        xdotool({ QStringLiteral("search"), QStringLiteral("--all"),
                    QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(pid),
                    QStringLiteral("--name"), u'^' + QRegularExpression::escape(title) + u'$' },
            &found);
    return found ? windows.section(u'\n', 0, 0) : QString();
}

void typeKey(const QString &key)
{
    xdotool({ QStringLiteral("key"), key });
}

void press(const QString &window, const QString &key)
{
    xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), window });
    QTest::qWait(150);
    xdotool({ QStringLiteral("key"), key });
    QTest::qWait(150);
}

void closeThroughFrame(const QString &window)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window.toUInt();
    event.type = xcbAtom("WM_PROTOCOLS");
    event.data.data32[0] = xcbAtom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(xcbConnection(), 0, event.window, XCB_EVENT_MASK_NO_EVENT,
        reinterpret_cast<const char *>(&event));
    xcb_flush(xcbConnection());
}

bool useBlackSchemeColours(bool)
{
    return false;
}
