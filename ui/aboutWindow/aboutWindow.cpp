#include "aboutWindow.h"

#include "artwork.h"
#include "identity.h"
#include "toolWindow.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

namespace morvant {

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
    setWindowFlags(toolWindowKind() | Qt::FramelessWindowHint);
    // It keeps the program alive (a tool window would not by default), so that
    // closing the main window leaves the program running until OK.
    setAttribute(Qt::WA_QuitOnClose, true);
    setAttribute(Qt::WA_DeleteOnClose, true);
    setFixedSize(492, 283);

    // Its own grey, with black text on it whatever the text of the system's
    // scheme (white in a dark one); a high-contrast scheme's colours instead,
    // which its user needs everywhere.
    if (!hasHighContrast()) {
        const QColor lightGrey(192, 192, 192);
        QPalette grey = palette();
        grey.setColor(QPalette::Window, lightGrey);
        grey.setColor(QPalette::Button, lightGrey);
        grey.setColor(QPalette::WindowText, Qt::black);
        grey.setColor(QPalette::ButtonText, Qt::black);
        setPalette(grey);
    }
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

} // namespace morvant
