#include "aboutWindow.h"
#include "artwork.h"
#include "identity.h"
#include "widgetHelpers.h"
#include "windowDriver.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QFrame>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace morvant;

namespace {

const QColor lightGrey(192, 192, 192);

AboutWindow *openAbout()
{
    AboutWindow *window = AboutWindow::showAbout();
    if (!QTest::qWaitForWindowExposed(window))
        return nullptr;
    return window;
}

QByteArray readArt(const QString &name)
{
    QFile file(QStringLiteral(MORVANT_ART_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct PngHeader
{
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int paletteEntries = 0;
    QByteArray transparency; ///< the tRNS chunk: one alpha for each palette entry it covers
};

PngHeader readPngHeader(const QByteArray &bytes)
{
    PngHeader header;
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return header;
    for (qsizetype at = 8; at + 8 <= bytes.size();) {
        const auto length = qFromBigEndian<quint32>(bytes.constData() + at);
        const QByteArray kind = bytes.mid(at + 4, 4);
        const QByteArray data = bytes.mid(at + 8, length);
        if (kind == "IHDR") {
            header.width = int(qFromBigEndian<quint32>(data.constData()));
            header.height = int(qFromBigEndian<quint32>(data.constData() + 4));
            header.bitDepth = static_cast<unsigned char>(data.at(8));
            header.colourType = static_cast<unsigned char>(data.at(9));
        } else if (kind == "PLTE") {
            header.paletteEntries = int(data.size() / 3);
        } else if (kind == "tRNS") {
            header.transparency = data;
        }
        at += 12 + qsizetype(length);
    }
    return header;
}

} // namespace

class TestAboutWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void versionText_data();
    void versionText();
    void identityRecord();

    void frame();
    void geometry_data();
    void geometry();
    void fonts_data();
    void fonts();
    void texts();
    void fixedLabelsClip();
    void colours_data();
    void colours();
    void tabOrder();
    void keys_data();
    void keys();

    void aboutTwiceGivesOneWindow();
    void okThenAboutReloads();

    void iconImages_data();
    void iconImages();
    void windowsIcon();
    void logo();
    void pictures();
};

void TestAboutWindow::cleanup()
{
    for (AboutWindow *window : aboutWindows())
        delete window;
    QVERIFY(!AboutWindow::instance());
}

void TestAboutWindow::versionText_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("this version")          << 1 << 0  << 0  << "1.00";
    QTest::newRow("revision runs on")      << 2 << 1  << 5  << "2.15";
    QTest::newRow("two-digit numbers")     << 10 << 12 << 34 << "10.1234";
    QTest::newRow("no leading zeros")      << 0 << 0  << 7  << "0.07";
    // clang-format on
}

void TestAboutWindow::versionText()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(identity::versionText(major, minor, revision), expected);
}

void TestAboutWindow::identityRecord()
{
    // The record comes from the CMake project version, not from a second copy.
    QCOMPARE(QStringLiteral("%1.%2.%3")
                 .arg(identity::versionMajor)
                 .arg(identity::versionMinor)
                 .arg(identity::versionRevision),
        QStringLiteral(MORVANT_PROJECT_VERSION));
    // The names and texts that only Windows shows, in the version resource
    // the build compiles into the executable.
    QFile script(QStringLiteral(MORVANT_RESOURCE_SCRIPT));
    QVERIFY(script.open(QIODevice::ReadOnly));
    const QString resource = QString::fromUtf8(script.readAll());
    const auto value = [&resource](const char *name) {
        return QRegularExpression(QStringLiteral("VALUE \"%1\", \"([^\"]*)\"").arg(name))
            .match(resource)
            .captured(1);
    };
    QCOMPARE(value("FileVersion"), identity::versionText());
    QCOMPARE(value("ProductVersion"), identity::versionText());
    QCOMPARE(QString::fromUtf8(identity::productName), QStringLiteral("MORVANT"));
    QCOMPARE(value("ProductName"), QStringLiteral("MORVANT"));
    QCOMPARE(value("InternalName"), QStringLiteral("MORVANT"));
    QCOMPARE(value("OriginalFilename"), QStringLiteral("MORVANT.exe"));
    QCOMPARE(value("FileDescription"), QStringLiteral("CCD->Cuesheet Converter"));
    QCOMPARE(value("CompanyName"), QStringLiteral("Tesselin"));
    QCOMPARE(value("LegalCopyright"), QString::fromUtf8(identity::legalCopyright));
    QVERIFY(QString::fromUtf8(identity::legalCopyright).contains(QChar(0x00A9)));
}

void TestAboutWindow::frame()
{
    AboutWindow *window = openAbout();
    QVERIFY(window);
    QCOMPARE(window->objectName(), QStringLiteral("aboutWindow"));
    QVERIFY(!window->parentWidget()); // no owner
    QVERIFY(!window->isModal());
    // Out of the taskbar, and not kept above the main window: on Windows a
    // tool window without an owner; on X11 an ordinary window that asks to
    // skip the taskbar and is transient for none.
#ifdef Q_OS_WIN
    QCOMPARE(window->windowType(), Qt::Tool);
    const auto handle = reinterpret_cast<HWND>(window->winId());
    QVERIFY(GetWindowLongPtrW(handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    QCOMPARE(GetWindow(handle, GW_OWNER), HWND(nullptr));
#else
    QCOMPARE(window->windowType(), Qt::Window);
    const QList<quint32> states = windowProperty(window->winId(), "_NET_WM_STATE");
    QVERIFY(states.contains(xcbAtom("_NET_WM_STATE_SKIP_TASKBAR")));
    QVERIFY(states.contains(xcbAtom("_NET_WM_STATE_SKIP_PAGER")));
    QCOMPARE(windowProperty(window->winId(), "WM_TRANSIENT_FOR"), QList<quint32>());
#endif
    QVERIFY(window->testAttribute(Qt::WA_QuitOnClose));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    for (Qt::WindowType hint :
        { Qt::WindowTitleHint, Qt::WindowSystemMenuHint, Qt::WindowCloseButtonHint,
            Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint })
        QVERIFY2(!flags.testFlag(hint), qPrintable(QString::number(hint, 16)));

    QCOMPARE(window->size(), QSize(492, 283));
    QCOMPARE(window->minimumSize(), QSize(492, 283));
    QCOMPARE(window->maximumSize(), QSize(492, 283));
    // Frameless, so the frame is the client area.
    QCOMPARE(window->frameGeometry().size(), QSize(492, 283));

    const QRect screen = window->screen()->availableGeometry();
    QVERIFY2((window->geometry().center() - screen.center()).manhattanLength() <= 1,
        qPrintable(QStringLiteral("window at %1,%2").arg(window->x()).arg(window->y())));

    auto *frame = child<QFrame>(window, "aboutFrame");
    QVERIFY(frame);
    QCOMPARE(frame->frameShape(), QFrame::Box);
    QCOMPARE(frame->frameShadow(), QFrame::Sunken); // etched
}

void TestAboutWindow::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("expected");
    // Twips divided by 15, inside the frame except for the frame itself.
    // clang-format off
    QTest::newRow("frame")      << "aboutFrame"    << "aboutWindow" << QRect(10, 3, 472, 270);
    QTest::newRow("icon")       << "imgCD"         << "aboutFrame"  << QRect(19, 32, 152, 152);
    QTest::newRow("logo")       << "imgLogo"       << "aboutFrame"  << QRect(186, 29, 267, 79);
    QTest::newRow("copyright")  << "lblCopyright"  << "aboutFrame"  << QRect(190, 149, 161, 17);
    QTest::newRow("rights")     << "lblCopyright2" << "aboutFrame"  << QRect(190, 165, 161, 17);
    QTest::newRow("warning")    << "lblWarning"    << "aboutFrame"  << QRect(22, 205, 433, 13);
    QTest::newRow("OK button")  << "aboutButton"   << "aboutFrame"  << QRect(196, 229, 80, 25);
    // clang-format on
}

void TestAboutWindow::geometry()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, expected);
    AboutWindow *window = openAbout();
    QVERIFY(window);
    auto *widget = window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), expected);
    QVERIFY(widget->isVisible());
}

void TestAboutWindow::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");
    // clang-format off
    QTest::newRow("version")    << "lblVersion"    << 12.0 << true;
    QTest::newRow("copyright")  << "lblCopyright"  << 8.25 << false;
    QTest::newRow("rights")     << "lblCopyright2" << 8.25 << false;
    QTest::newRow("warning")    << "lblWarning"    << 8.25 << false;
    // clang-format on
}

void TestAboutWindow::fonts()
{
    QFETCH(QString, name);
    QFETCH(qreal, points);
    QFETCH(bool, bold);
    AboutWindow *window = openAbout();
    QVERIFY(window);
    auto *label = window->findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->font().families().value(0), QStringLiteral("Arial"));
    // What is really drawn: Arial, or Liberation Sans with Arial's metrics.
    const QFontInfo used(label->font());
    QVERIFY2(used.family() == u"Arial" || used.family() == u"Liberation Sans",
        qPrintable(used.family()));
    QCOMPARE(used.pointSizeF(), points);
    QCOMPARE(used.bold(), bold);
    QVERIFY(!used.italic());
}

void TestAboutWindow::texts()
{
    AboutWindow *window = openAbout();
    QVERIFY(window);
    auto *version = child<QLabel>(window, "lblVersion");
    QCOMPARE(version->text(), QStringLiteral("Version 1.00"));
    // It sizes itself to its text, keeping its top left corner.
    QCOMPARE(version->pos(), QPoint(190, 112));
    QCOMPARE(version->size(), version->sizeHint());
    QVERIFY(version->width() >= version->fontMetrics().horizontalAdvance(version->text()));

    auto *copyright = child<QLabel>(window, "lblCopyright");
    QCOMPARE(copyright->text(), QString::fromUtf8(identity::legalCopyright));
    // The copyright line is chosen to show whole on its fixed label.
    QVERIFY(copyright->fontMetrics().horizontalAdvance(copyright->text()) <= copyright->width());
    QCOMPARE(child<QLabel>(window, "lblCopyright2")->text(), QString());
    QCOMPARE(child<QLabel>(window, "lblWarning")->text(), QString());

    for (const char *name : { "lblVersion", "lblCopyright", "lblCopyright2" }) {
        QCOMPARE(child<QLabel>(window, name)->alignment(), Qt::AlignLeft | Qt::AlignTop);
    }
    QCOMPARE(child<QLabel>(window, "lblWarning")->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    QCOMPARE(child<QPushButton>(window, "aboutButton")->text(), QStringLiteral("OK"));
}

void TestAboutWindow::fixedLabelsClip()
{
    AboutWindow *window = openAbout();
    QVERIFY(window);
    const QString tooLong = QString::fromUtf8(identity::legalCopyright).repeated(4);
    for (const char *name : { "lblCopyright", "lblCopyright2", "lblWarning" }) {
        auto *label = child<QLabel>(window, name);
        const QRect before = label->geometry();
        label->setText(tooLong);
        QVERIFY(label->fontMetrics().horizontalAdvance(tooLong) > label->width());
        QVERIFY(!label->wordWrap());
        QCoreApplication::processEvents();
        QCOMPARE(label->geometry(), before);
    }

    // What does not fit is cut at the label's edge: the grey right of the box
    // stays bare even where the text would have run on.
    auto *copyright = child<QLabel>(window, "lblCopyright");
    const QImage image = window->grab().toImage();
    const QPoint frameAt = child<QWidget>(window, "aboutFrame")->pos();
    const QRect beyond = copyright->geometry().translated(frameAt).adjusted(161, 0, 60, 0);
    for (int y = beyond.top(); y <= beyond.bottom(); ++y) {
        for (int x = beyond.left(); x <= beyond.right(); ++x)
            QCOMPARE(QColor(image.pixel(x, y)), lightGrey);
    }
}

void TestAboutWindow::colours_data()
{
    QTest::addColumn<QColor>("schemeWindow"); // invalid: the system's own palette
    QTest::addColumn<QColor>("schemeText");
    QTest::addColumn<bool>("highContrast");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("text");

    const QColor none;
    // clang-format off
    QTest::newRow("the system's scheme") << none << none << false << lightGrey << QColor(Qt::black);
    // White text, which a dark scheme gives, would vanish on the grey.
    QTest::newRow("a dark scheme") << QColor(0x1e, 0x1e, 0x1e) << QColor(Qt::white) << false << lightGrey << QColor(Qt::black);
    QTest::newRow("a high-contrast scheme") << QColor(Qt::black) << QColor(Qt::yellow) << true << QColor(Qt::black) << QColor(Qt::yellow);
    // clang-format on
}

void TestAboutWindow::colours()
{
    QFETCH(QColor, schemeWindow);
    QFETCH(QColor, schemeText);
    QFETCH(bool, highContrast);
    QFETCH(QColor, background);
    QFETCH(QColor, text);

    const QPalette before = QApplication::palette();
    const auto restored = qScopeGuard([&] {
        QApplication::setPalette(before);
        AboutWindow::hasHighContrast = systemHasHighContrast;
    });
    if (schemeWindow.isValid()) {
        QPalette scheme = before;
        for (const auto role : { QPalette::Window, QPalette::Button, QPalette::Base })
            scheme.setColor(role, schemeWindow);
        for (const auto role : { QPalette::WindowText, QPalette::ButtonText, QPalette::Text })
            scheme.setColor(role, schemeText);
        QApplication::setPalette(scheme);
    }
    AboutWindow::hasHighContrast = highContrast ? [] { return true; } : [] { return false; };

    AboutWindow *window = openAbout();
    QVERIFY(window);
    QCOMPARE(window->palette().color(QPalette::Window), background);
    auto *button = child<QPushButton>(window, "aboutButton");
    QCOMPARE(button->palette().color(QPalette::Button), background);
    QCOMPARE(button->palette().color(QPalette::ButtonText), text);
    for (const char *name : { "lblVersion", "lblCopyright" })
        QCOMPARE(child<QLabel>(window, name)->palette().color(QPalette::WindowText), text);
    const QImage image = window->grab().toImage();
    // Outside the frame, inside it, and behind the two empty labels, which
    // have no background of their own.
    auto *frame = child<QWidget>(window, "aboutFrame");
    const QList<QPoint> points{ { 3, 140 }, { 488, 280 }, frame->pos() + QPoint(100, 10),
        frame->pos() + child<QWidget>(window, "lblCopyright2")->geometry().center(),
        frame->pos() + child<QWidget>(window, "lblWarning")->geometry().center() };
    for (const QPoint &point : points)
        QCOMPARE(QColor(image.pixel(point)), background);
}

void TestAboutWindow::tabOrder()
{
    AboutWindow *window = openAbout();
    QVERIFY(window);
    const QStringList expected{ QStringLiteral("aboutFrame"), QStringLiteral("aboutButton"),
        QStringLiteral("lblVersion"), QStringLiteral("lblWarning"), QStringLiteral("lblCopyright2"),
        QStringLiteral("lblCopyright") };
    QStringList chain;
    for (QWidget *widget = window->nextInFocusChain(); widget != window;
         widget = widget->nextInFocusChain()) {
        if (expected.contains(widget->objectName()))
            chain += widget->objectName();
    }
    QCOMPARE(chain, expected);

    // Only the OK button takes the focus, so it has it from the start.
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->objectName() != u"aboutButton")
            QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
    }
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->focusWidget(), child<QWidget>(window, "aboutButton"));
    QVERIFY(child<QPushButton>(window, "aboutButton")->isDefault());
}

void TestAboutWindow::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    // clang-format off
    QTest::newRow("Enter")        << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter)  << true;
    QTest::newRow("Space")        << int(Qt::Key_Space)  << true;
    QTest::newRow("Escape")       << int(Qt::Key_Escape) << false;
    // clang-format on
}

void TestAboutWindow::keys()
{
    QFETCH(int, key);
    QFETCH(bool, closes);
    QPointer<AboutWindow> window = openAbout();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy clicks(child<QPushButton>(window, "aboutButton"), &QPushButton::clicked);
    // A real press and release, as a keyboard gives: Space acts on the release.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    if (closes) {
        QVERIFY(QTest::qWaitFor([&] { return window.isNull(); }));
        QCOMPARE(clicks.size(), 1);
        QVERIFY(!AboutWindow::instance());
    } else {
        QTest::qWait(100);
        QVERIFY(!window.isNull());
        QVERIFY(window->isVisible());
        QCOMPARE(clicks.size(), 0);
    }
}

void TestAboutWindow::aboutTwiceGivesOneWindow()
{
    AboutWindow *first = openAbout();
    QVERIFY(first);
    // A label changed after loading shows that a second About does not load again.
    auto *copyright = child<QLabel>(first, "lblCopyright");
    copyright->setText(QStringLiteral("changed"));
    AboutWindow *second = AboutWindow::showAbout();
    QCOMPARE(second, first);
    QCOMPARE(aboutWindows().size(), 1);
    QCOMPARE(copyright->text(), QStringLiteral("changed"));
    QVERIFY(second->isVisible());
}

void TestAboutWindow::okThenAboutReloads()
{
    QPointer<AboutWindow> first = openAbout();
    QVERIFY(first);
    child<QLabel>(first, "lblCopyright")->setText(QStringLiteral("changed"));
    child<QLabel>(first, "lblVersion")->setText(QStringLiteral("changed"));
    QTest::mouseClick(child<QPushButton>(first, "aboutButton"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return first.isNull(); })); // unloaded, not just hidden
    QVERIFY(!AboutWindow::instance());
    QVERIFY(aboutWindows().isEmpty());

    AboutWindow *second = openAbout();
    QVERIFY(second);
    QCOMPARE(AboutWindow::instance(), second);
    QCOMPARE(child<QLabel>(second, "lblVersion")->text(), QStringLiteral("Version 1.00"));
    QCOMPARE(
        child<QLabel>(second, "lblCopyright")->text(), QString::fromUtf8(identity::legalCopyright));
}

void TestAboutWindow::iconImages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("maxColours");
    // clang-format off
    QTest::newRow("16 pixels")  << "morvant-16.png"  << 16  << 16;
    QTest::newRow("32 pixels")  << "morvant-32.png"  << 32  << 16;
    QTest::newRow("48 pixels")  << "morvant-48.png"  << 48  << 256;
    QTest::newRow("256 pixels") << "morvant-256.png" << 256 << 256;
    // clang-format on
}

void TestAboutWindow::iconImages()
{
    QFETCH(QString, file);
    QFETCH(int, side);
    QFETCH(int, maxColours);
    const PngHeader header = readPngHeader(readArt(file));
    QCOMPARE(header.width, side);
    QCOMPARE(header.height, side);
    QCOMPARE(header.colourType, 3); // palette
    QCOMPARE(header.bitDepth, maxColours == 16 ? 4 : 8);
    QVERIFY(header.paletteEntries > 2);
    QVERIFY(header.paletteEntries <= maxColours);
    // The transparency mask: fully clear or fully opaque entries only.
    QVERIFY(!header.transparency.isEmpty());
    for (char alpha : header.transparency)
        QVERIFY(quint8(alpha) == 0 || quint8(alpha) == 255);

    const QImage image(QStringLiteral(MORVANT_ART_DIR "/") + file);
    QCOMPARE(image.size(), QSize(side, side));
    int clear = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            clear += qAlpha(image.pixel(x, y)) == 0;
    }
    QVERIFY(clear > side); // the corners around the disc
    QVERIFY(clear < side * side / 2);
}

void TestAboutWindow::windowsIcon()
{
    const QByteArray ico = readArt(QStringLiteral("morvant.ico"));
    QVERIFY(ico.size() > 6 + 2 * 16);
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 2), quint16(1)); // an icon
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 4), quint16(2)); // two images
    QList<int> sides;
    for (int entry = 0; entry < 2; ++entry) {
        const char *at = ico.constData() + 6 + 16 * entry;
        sides += quint8(at[0]);
        QCOMPARE(quint8(at[1]), quint8(at[0]));
        QCOMPARE(quint8(at[2]), quint8(16)); // colours
        QCOMPARE(qFromLittleEndian<quint16>(at + 6), quint16(4)); // bits a pixel
        const auto offset = qFromLittleEndian<quint32>(at + 12);
        QVERIFY(offset + 40 <= quint32(ico.size()));
        const char *bitmap = ico.constData() + offset;
        QCOMPARE(qFromLittleEndian<quint16>(bitmap + 14), quint16(4));
        // Twice the height: the colour bits, then the transparency mask.
        QCOMPARE(qFromLittleEndian<qint32>(bitmap + 8), 2 * quint8(at[0]));
    }
    QCOMPARE(sides, QList<int>({ 32, 16 }));

    // The same pictures as the PNGs, transparent in the same places.
    QImageReader reader(QStringLiteral(MORVANT_ART_DIR "/morvant.ico"));
    for (int side : { 32, 16 }) {
        const QImage fromIco = reader.read().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!fromIco.isNull(), qPrintable(reader.errorString()));
        const QImage fromPng = QImage(QStringLiteral(MORVANT_ART_DIR "/morvant-%1.png").arg(side))
                                   .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(fromIco.size(), QSize(side, side));
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QRgb a = fromIco.pixel(x, y);
                const QRgb b = fromPng.pixel(x, y);
                QCOMPARE(qAlpha(a), qAlpha(b));
                if (qAlpha(a))
                    QCOMPARE(a, b);
            }
        }
        reader.jumpToNextImage();
    }
}

void TestAboutWindow::logo()
{
    const QByteArray gif = readArt(QStringLiteral("logo.gif"));
    QVERIFY(gif.startsWith("GIF89a"));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 6), quint16(267));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 8), quint16(79));
    const auto packed = quint8(gif.at(10));
    QVERIFY(packed & 0x80); // a global palette...
    QCOMPARE(packed & 0x07, 7); // ...of 2^(7+1) = 256 colours
    // The graphic control extension names one transparent palette entry.
    const qsizetype control = gif.indexOf(QByteArray("\x21\xF9\x04", 3));
    QVERIFY(control > 0);
    QVERIFY(gif.at(control + 3) & 0x01);

    const QImage image(QStringLiteral(MORVANT_ART_DIR "/logo.gif"));
    QCOMPARE(image.size(), QSize(267, 79));
    QVERIFY(image.hasAlphaChannel());
    int clear = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            QVERIFY(alpha == 0 || alpha == 255); // one transparent colour, nothing between
            clear += alpha == 0;
        }
    }
    QVERIFY(clear > image.width() * image.height() / 3);
}

void TestAboutWindow::pictures()
{
    AboutWindow *window = openAbout();
    QVERIFY(window);
    const QPixmap cd = child<QLabel>(window, "imgCD")->pixmap();
    QCOMPARE(cd.size(), QSize(152, 152));
    QCOMPARE(programIcon().availableSizes(), QList<QSize>({ QSize(16, 16), QSize(32, 32) }));
    const QPixmap logo = child<QLabel>(window, "imgLogo")->pixmap();
    QCOMPARE(logo.size(), QSize(267, 79));

    // The logo's transparent colour and the icon's corners show the grey
    // behind them; the logo's drawing itself shows.
    const QImage image = window->grab().toImage();
    const QPoint frameAt = child<QWidget>(window, "aboutFrame")->pos();
    const QPoint logoAt = frameAt + QPoint(186, 29);
    const QImage drawn = logo.toImage();
    int shown = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb pixel = drawn.pixel(x, y);
            if (qAlpha(pixel) == 0)
                QCOMPARE(QColor(image.pixel(logoAt + QPoint(x, y))), lightGrey);
            else
                shown += QColor(image.pixel(logoAt + QPoint(x, y))) == QColor(pixel);
        }
    }
    QVERIFY(shown > 1000);
    QCOMPARE(QColor(image.pixel(frameAt + QPoint(19 + 1, 32 + 1))), lightGrey);
}

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutWindow.moc"
