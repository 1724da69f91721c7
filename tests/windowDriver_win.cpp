#include "windowDriver.h"

#include <QList>
#include <QTest>

#include <windows.h>

namespace {

HWND handle(const QString &window)
{
    return reinterpret_cast<HWND>(window.toULongLong());
}

QString windowTitle(const QString &window)
{
    wchar_t title[256] = {};
    GetWindowTextW(handle(window), title, 256);
    return QString::fromWCharArray(title);
}

INPUT keyInput(WORD code, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = flags;
    return input;
}

} // namespace

QStringList visibleWindows(qint64 pid)
{
    struct Search
    {
        DWORD pid;
        QStringList found;
    } search{ DWORD(pid), {} };
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto *searching = reinterpret_cast<Search *>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == searching->pid && IsWindowVisible(window))
                searching->found += QString::number(quintptr(window));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

QSize windowSize(const QString &window)
{
    RECT client{};
    GetClientRect(handle(window), &client);
    return QSize(int(client.right - client.left), int(client.bottom - client.top));
}

QString shownWindow(qint64 pid, const QString &title)
{
    for (const QString &window : visibleWindows(pid)) {
        if (windowTitle(window) == title)
            return window;
    }
    return {};
}

void typeKey(const QString &key)
{
    QList<WORD> keys;
    for (const QString &name : key.split(u'+')) {
        if (name == u"alt")
            keys += VK_MENU;
        else if (name == u"Return")
            keys += VK_RETURN;
        else
            keys += WORD(name.at(0).toUpper().unicode()); // letters are their own key codes
    }
    QList<INPUT> inputs;
    for (WORD code : keys)
        inputs += keyInput(code, 0);
    for (auto it = keys.crbegin(); it != keys.crend(); ++it)
        inputs += keyInput(*it, KEYEVENTF_KEYUP);
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

void press(const QString &window, const QString &key)
{
    SetForegroundWindow(handle(window));
    QTest::qWait(150);
    typeKey(key);
}

void closeThroughFrame(const QString &window)
{
    PostMessageW(handle(window), WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool useBlackSchemeColours(bool on)
{
    // High Contrast Black's own colours, as Windows sets them with the scheme.
    static const std::pair<int, COLORREF> black[] = { { COLOR_WINDOW, RGB(0, 0, 0) },
        { COLOR_WINDOWTEXT, RGB(255, 255, 255) }, { COLOR_BTNFACE, RGB(0, 0, 0) },
        { COLOR_BTNTEXT, RGB(255, 255, 255) }, { COLOR_MENU, RGB(0, 0, 0) },
        { COLOR_MENUTEXT, RGB(255, 255, 255) }, { COLOR_MENUBAR, RGB(0, 0, 0) },
        { COLOR_HIGHLIGHT, RGB(26, 235, 255) }, { COLOR_HIGHLIGHTTEXT, RGB(0, 0, 0) },
        { COLOR_GRAYTEXT, RGB(63, 242, 63) } };
    static QList<std::pair<int, COLORREF>> own;
    QList<INT> elements;
    QList<COLORREF> colours;
    if (on) {
        own.clear();
        for (const auto &[element, colour] : black) {
            own.append({ element, GetSysColor(element) });
            elements.append(element);
            colours.append(colour);
        }
    } else {
        for (const auto &[element, colour] : std::as_const(own)) {
            elements.append(element);
            colours.append(colour);
        }
    }
    return SetSysColors(int(elements.size()), elements.constData(), colours.constData()) != 0;
}
