#include "display.h"

#include "console.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace morvant {

namespace {

/** Qt aborts the program when the display that DISPLAY or WAYLAND_DISPLAY
    names cannot be opened (a stale variable over ssh or in tmux, no
    compositor), and its own words then blame the installation. Such a
    display counts as none: while the application connects, what Qt says is
    held back, and should it give up, the program says why in one line and
    ends as it would have without a display. */
class DisplayConnection
{
public:
    /// \a withoutDisplay does what a run without a display does and gives its status.
    explicit DisplayConnection(std::function<int()> withoutDisplay)
        : withoutDisplay(std::move(withoutDisplay))
    {
        current = this;
        previous = qInstallMessageHandler(&DisplayConnection::take);
    }
    ~DisplayConnection() { release(); }
    DisplayConnection(const DisplayConnection &) = delete;
    DisplayConnection &operator=(const DisplayConnection &) = delete;

    /// Connected after all: what Qt said goes out as it would have.
    void release()
    {
        if (current != this)
            return;
        qInstallMessageHandler(previous);
        current = nullptr;
        for (const auto &[type, category, text] : std::as_const(held)) {
            const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
            qt_message_output(type, context, text);
        }
        held.clear();
    }

private:
    struct Held
    {
        QtMsgType type;
        QByteArray category;
        QString text;
    };

    static void take(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type != QtFatalMsg) {
            current->held.append({ type, context.category, text });
            return;
        }
        // The platform plugin's first word names the cause ("could not connect
        // to display :1"); Qt's last only says that it gives up.
        const auto byPlatform = std::find_if(current->held.cbegin(), current->held.cend(),
            [](const Held &held) { return held.category.startsWith("qt.qpa"); });
        const QString reason = byPlatform != current->held.cend() ? byPlatform->text : text;
        print(stderr, QStringLiteral("morvant: cannot open the window: ") + reason + u'\n');
        const int status = current->withoutDisplay();
        std::fflush(stderr);
        std::_Exit(status);
    }

    static inline DisplayConnection *current = nullptr;
    QtMessageHandler previous = nullptr;
    QList<Held> held;
    std::function<int()> withoutDisplay;
};

} // namespace

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::unique_ptr<QApplication> openDisplay(
    int &argc, char **argv, const std::function<int()> &withoutDisplay)
{
    DisplayConnection connection(withoutDisplay);
    auto application = std::make_unique<QApplication>(argc, argv);
    connection.release();
    return application;
}

} // namespace morvant
