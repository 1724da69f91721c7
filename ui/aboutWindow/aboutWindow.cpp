#include "aboutWindow.h"

#include "artwork.h"
#include "identity.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace {

// The application's one About window; cleared by itself when OK deletes it.
QPointer<AboutWindow> loaded;

QFont arial(qreal points, QFont::Weight weight)
{
    QFont font;
    // Liberation Sans has Arial's metrics, so the fixed labels clip the same text.
    font.setFamilies({ QStringLiteral("Arial"), QStringLiteral("Liberation Sans") });
    font.setPointSizeF(points);
    font.setWeight(weight);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QLabel *label(QWidget *parent, const char *name, const QRect &geometry, const QFont &font)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// On Windows a tool window stays out of the taskbar, and without an owner it
// is not kept above the main window. X11 makes a tool window transient for the
// whole program, which window managers keep above its other windows; there an
// ordinary window that asks to skip the taskbar does both.
#ifdef Q_OS_WIN
constexpr Qt::WindowType windowKind = Qt::Tool;
#else
constexpr Qt::WindowType windowKind = Qt::Window;
#endif

void keepOutOfTaskbar([[maybe_unused]] QWidget *window)
{
#if QT_CONFIG(xcb)
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
#endif
}

} // namespace

AboutWindow *AboutWindow::showAbout()
{
    if (!loaded) {
        loaded = new AboutWindow;
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (screen)
            loaded->move(screen->availableGeometry().center() - loaded->rect().center());
    }
    loaded->show();
    loaded->raise();
    loaded->activateWindow();
    return loaded;
}

AboutWindow *AboutWindow::instance()
{
    return loaded;
}

AboutWindow::AboutWindow()
{
    setObjectName(QStringLiteral("aboutWindow"));
    // Without a frame it has no caption, system menu or buttons, so OK is its
    // only way to close.
    setWindowFlags(windowKind | Qt::FramelessWindowHint);
    // It keeps the program alive (a tool window would not by default), so that
    // closing the main window leaves the program running until OK.
    setAttribute(Qt::WA_QuitOnClose, true);
    setAttribute(Qt::WA_DeleteOnClose, true);
    setFixedSize(492, 283);

    const QColor lightGrey(192, 192, 192);
    QPalette grey = palette();
    grey.setColor(QPalette::Window, lightGrey);
    grey.setColor(QPalette::Button, lightGrey);
    setPalette(grey);
    setAutoFillBackground(true);

    // Children join the focus chain in the order they are created, and labels
    // cannot be placed in it otherwise; so they are created in tab order.
    aboutFrame = new QFrame(this);
    aboutFrame->setObjectName(QStringLiteral("aboutFrame"));
    aboutFrame->setGeometry(10, 3, 472, 270);
    aboutFrame->setFrameStyle(QFrame::Box | QFrame::Sunken); // etched

    aboutButton = new QPushButton(tr("OK"), aboutFrame);
    aboutButton->setObjectName(QStringLiteral("aboutButton"));
    aboutButton->setGeometry(196, 229, 80, 25);
    aboutButton->setDefault(true);
    connect(aboutButton, &QPushButton::clicked, this, &QDialog::accept);

    const QFont regular = arial(8.25, QFont::Normal);
    lblVersion = label(aboutFrame, "lblVersion", QRect(190, 112, 0, 0), arial(12, QFont::Bold));
    lblWarning = label(aboutFrame, "lblWarning", QRect(22, 205, 433, 13), regular);
    lblWarning->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblCopyright2 = label(aboutFrame, "lblCopyright2", QRect(190, 165, 161, 17), regular);
    lblCopyright = label(aboutFrame, "lblCopyright", QRect(190, 149, 161, 17), regular);

    imgCD = new QLabel(aboutFrame);
    imgCD->setObjectName(QStringLiteral("imgCD"));
    imgCD->setGeometry(19, 32, 152, 152);
    imgCD->setPixmap(enlargedIcon(152));

    imgLogo = new QLabel(aboutFrame);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(186, 29, 267, 79);
    imgLogo->setPixmap(programLogo());

    aboutButton->setFocus();
    keepOutOfTaskbar(this);
    load();
}

void AboutWindow::load()
{
    lblVersion->setText(tr("Version ") + identity::versionText());
    lblVersion->adjustSize();
    lblCopyright->setText(QString::fromUtf8(identity::legalCopyright));
    lblCopyright2->setText(QString());
    lblWarning->setText(QString());
}

void AboutWindow::keyPressEvent(QKeyEvent *event)
{
    // There is no cancel command: Escape must not close the window as it
    // would any other dialog.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
