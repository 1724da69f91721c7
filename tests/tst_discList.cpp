#include "controlFiles.h"
#include "discListModel.h"
#include "discListWindow.h"
#include "mainWindow.h"
#include "packedDats.h"
#include "referenceBytes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

using namespace morvant;

// The disc list driven as a user drives it: folders and files dropped on it
// or chosen, its buttons reached by their access letters, and each state
// that a disc can reach, on discs made here.

namespace {

// A data track and an audio track after it, with bytes of their own.
const ::Disc verifiedDisc{ { { 1, 0x04, 1, {}, {}, 0 }, { 2, 0x00, 0, {}, {}, 150 } }, { 300 } };
constexpr qint64 audioStart = 150 * sectorBytes;

QByteArray randomImage()
{
    QByteArray bytes(verifiedDisc.end() * sectorBytes, '\0');
    QRandomGenerator random(37);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return bytes;
}

/// A Logiqx DAT whose game \a game lists the two tracks of \a image, the
/// audio one taken \a offset samples later in it.
QByteArray datOf(const QByteArray &image, int offset, const QByteArray &game = "Game")
{
    const QList<QByteArray> tracks{ image.left(audioStart),
        stretchBytes(image, audioStart + 4 * offset, image.size() - audioStart) };
    QByteArray dat = "<?xml version=\"1.0\"?>\n<datafile>\n<game name=\"" + game + "\">\n";
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const QByteArray &bytes = tracks[i];
        dat += "<rom name=\"" + game + " (Track " + QByteArray::number(i + 1) + ").bin\" size=\""
            + QByteArray::number(bytes.size()) + "\" crc=\""
            + QByteArray::number(referenceCrc32(bytes), 16).rightJustified(8, '0') + "\" md5=\""
            + QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex() + "\" sha1=\""
            + QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex() + "\"/>\n";
    }
    return dat + "</game>\n</datafile>\n";
}

/// Every file below \a folder, with its size and bytes' hash, to tell what a run wrote.
QMap<QString, QByteArray> filesBelow(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (file.open(QIODevice::ReadOnly) && file.size() < 64 * 1024 * 1024)
            hash.addData(&file);
        files.insert(QDir(folder).relativeFilePath(path),
            QByteArray::number(file.size()) + ' ' + hash.result().toHex());
    }
    return files;
}

} // namespace

class TestDiscList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void adding_data();
    void adding();
    void states_data();
    void states();
    void cancelling_data();
    void cancelling();
    void summaryAndReport();
    void keyboard();
    void closingWhileWorking();

private:
    QString path(const QString &name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
    void drop(QWidget *target, const QStringList &names);
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::AltModifier);
    bool waitForRun(int milliseconds = 60000);
    std::unique_ptr<QSignalSpy> runsEnded;
    QStringList listed() const;
    QString stateOf(int row) const;
    void makeDisc(const QString &name, const QString &kind);

    TestFolder dir{ TestFolder::Apart };
    DiscListWindow *window = nullptr;
    QStringList messages;
};

void TestDiscList::init()
{
    if (!dir.init())
        return;
    messages.clear();
    window = new DiscListWindow([this](const QString &text, const QString &title) {
        messages.append(title + ": " + text);
    });
    runsEnded = std::make_unique<QSignalSpy>(window, &DiscListWindow::runEnded);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void TestDiscList::cleanup()
{
    runsEnded.reset();
    delete window;
    window = nullptr;
    dir.cleanup();
}

// As a file manager drops: the files' URLs, on the list's viewport.
void TestDiscList::drop(QWidget *target, const QStringList &names)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &name : names)
        urls.append(QUrl::fromLocalFile(dir.filePath(name)));
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    const qsizetype before = messages.size();
    QApplication::sendEvent(target, &dropped);
    QVERIFY(dropped.isAccepted());
    // Nothing is shown inside the drop: it would hold the drag source.
    QCOMPARE(messages.size(), before);
}

void TestDiscList::press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(
        QApplication::focusWidget() ? QApplication::focusWidget() : window, key, modifiers);
}

// A button pressed by its access letter clicks a moment later, and a small
// run may end before anything can look: its end is awaited.
bool TestDiscList::waitForRun(int milliseconds)
{
    const qsizetype before = runsEnded->size();
    return runsEnded->wait(milliseconds) || runsEnded->size() > before;
}

QStringList TestDiscList::listed() const
{
    QStringList names;
    const DiscListModel *model = window->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names.append(model->index(row, DiscListModel::NameColumn).data().toString());
    return names;
}

QString TestDiscList::stateOf(int row) const
{
    return window->model()->index(row, DiscListModel::StateColumn).data().toString();
}

// A disc named \a name of \a kind, beside its image where it has one.
void TestDiscList::makeDisc(const QString &name, const QString &kind)
{
    const QString control = path(name + ".ccd");
    const QString image = path(name + ".img");
    if (kind == u"good") {
        QVERIFY(writeFile(control, dumpFile()));
        QVERIFY(makeImage(image, 2000 * sectorBytes));
    } else if (kind == u"warnings") {
        // CD-Text that cannot be decoded is left out, with a warning.
        QVERIFY(writeFile(control, dumpFile() + "[CDText]\r\nEntry 0=zz\r\n"));
        QVERIFY(makeImage(image, 2000 * sectorBytes));
    } else if (kind == u"refused") {
        QVERIFY(writeFile(control, crlf("[Disc]\nSessions=1\n")));
    } else if (kind == u"verified") {
        QVERIFY(writeFile(control, controlFile(dumpOf(verifiedDisc, true))));
        QVERIFY(writeFile(image, randomImage()));
    } else if (kind == u"toc") {
        // Only the table of contents: a data track, then an audio track.
        QVERIFY(writeFile(control, controlFile(dumpOf(verifiedDisc, false))));
        QVERIFY(makeImage(image, verifiedDisc, Header::Real));
    } else if (kind == u"large") {
        // Large enough that its reading reports progress, sparse where the system allows.
        QVERIFY(writeFile(
            control, controlFile(dumpOf({ { { 1, 0x04, 1, {}, {}, 0 } }, { 300000 } }, true))));
        QVERIFY(makeImage(image, 300000 * sectorBytes));
    }
}

void TestDiscList::adding_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QList<QStringList>>("added"); // one list of names for each drop or choice
    QTest::addColumn<QStringList>("expected");

    const QStringList all{ "One.ccd", "Two.ccd", "Three.ccd" };
    // clang-format off
    QTest::newRow("a folder dropped: each control file below it") << "drop" << QList<QStringList>{ { "Games" } } << all;
    QTest::newRow("a disc named twice in a drop, listed once") << "drop" << QList<QStringList>{ { "Games", "Games/A/One.ccd" } } << all;
    QTest::newRow("a folder dropped twice, listed once") << "drop" << QList<QStringList>{ { "Games/A" }, { "Games" } } << QStringList{ "One.ccd", "Two.ccd", "Three.ccd" };
    QTest::newRow("files and a folder dropped") << "drop" << QList<QStringList>{ { "Loose.ccd", "Games/B" } } << QStringList{ "Loose.ccd", "Three.ccd" };
    QTest::newRow("a folder without a control file") << "drop" << QList<QStringList>{ { "Empty" } } << QStringList{ "Empty" };
    QTest::newRow("files from the dialog") << "files" << QList<QStringList>{ { "Loose.ccd", "Games/B/Three.ccd" } } << QStringList{ "Loose.ccd", "Three.ccd" };
    QTest::newRow("a folder from the dialog") << "folder" << QList<QStringList>{ { "Games/B" } } << QStringList{ "Three.ccd" };
    QTest::newRow("a folder dropped on the main window") << "main window" << QList<QStringList>{ { "Games" } } << all;
    QTest::newRow("Ctrl+L, then a folder dropped") << "Ctrl+L" << QList<QStringList>{ { "Games" } } << all;
    // clang-format on
}

void TestDiscList::adding()
{
    QFETCH(QString, how);
    QFETCH(QList<QStringList>, added);
    QFETCH(QStringList, expected);

    for (const char *folder : { "Games/A", "Games/B", "Empty" })
        QVERIFY(QDir(dir.path()).mkpath(folder));
    for (const char *name : { "Games/A/One", "Games/A/Two", "Games/B/Three", "Loose" })
        makeDisc(name, QStringLiteral("good"));
    QVERIFY(writeFile(path("Games/B/notes.txt"), "not a disc"));

    DiscListWindow *list = window;
    std::unique_ptr<MainWindow> main;
    if (how == u"main window" || how == u"Ctrl+L") {
        main = std::make_unique<MainWindow>(
            [this](const QString &text, const QString &title) { messages.append(title + text); });
        main->show();
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        auto *text = main->findChild<QWidget *>(QStringLiteral("cueText"));
        if (how == u"Ctrl+L") {
            QTest::keyClick(text, Qt::Key_L, Qt::ControlModifier);
        } else {
            drop(qobject_cast<QAbstractScrollArea *>(text)->viewport(), added.takeFirst());
            QCoreApplication::sendPostedEvents(main.get(), QEvent::MetaCall);
        }
        list = main->findChild<DiscListWindow *>();
        QVERIFY(list);
        QVERIFY(QTest::qWaitFor([&] { return list->isVisible(); }));
        std::swap(window, list);
    }
    const auto restore = qScopeGuard([&] {
        if (main)
            std::swap(window, list);
    });
    auto *view = window->findChild<QTreeView *>(QStringLiteral("discs"));
    for (const QStringList &names : std::as_const(added)) {
        const int before = window->model()->rowCount();
        if (how == u"files") {
            window->chooseFiles = [&] {
                QStringList paths;
                for (const QString &name : names)
                    paths.append(path(name));
                return paths;
            };
            view->setFocus();
            press(Qt::Key_A);
        } else if (how == u"folder") {
            window->chooseFolder = [&] { return dir.filePath(names.first()); };
            view->setFocus();
            press(Qt::Key_F);
        } else {
            drop(view->viewport(), names);
        }
        // The drop or the choice lists nothing until the folders are walked.
        QVERIFY(QTest::qWaitFor(
            [&] { return window->model()->rowCount() > before || listed() == expected; }));
        QTest::qWait(100);
    }
    static_cast<void>(
        QTest::qWaitFor([&] { return listed() == expected; })); // the comparison says what differs
    QCOMPARE(listed(), expected);
    // Each is described in its turn: its tracks, size and state.
    const int empty = int(listed().indexOf("Empty"));
    for (int row = 0; row < window->model()->rowCount(); ++row) {
        const auto cell = [&](int column) {
            return window->model()->index(row, column).data().toString();
        };
        QVERIFY(QTest::qWaitFor([&] { return !cell(DiscListModel::SizeColumn).isEmpty(); }));
        QCOMPARE(cell(DiscListModel::TracksColumn), row == empty ? "none" : "2 tracks: audio");
        QCOMPARE(cell(DiscListModel::StateColumn), "Waiting");
    }
    QVERIFY(messages.isEmpty());
}

void TestDiscList::states_data()
{
    QTest::addColumn<QString>("kind"); // of the disc, as makeDisc() makes it
    QTest::addColumn<QList<Qt::Key>>("keys"); // access letters pressed, a run after each
    QTest::addColumn<int>("offset"); // of the DAT's audio, in samples
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("written"); // files that the runs add
    // The DAT, dropped or chosen: its game is named as the file, which is packed as its suffix
    // says.
    QTest::addColumn<QString>("dat");

    const QList<Qt::Key> check{ Qt::Key_C };
    const QList<Qt::Key> convert{ Qt::Key_V };
    const QList<Qt::Key> verify{ Qt::Key_Y };
    const QStringList none;
    const QStringList tracks{ "Game (Track 1).bin", "Game (Track 2).bin", "Game.cue" };
    // clang-format off
    QTest::newRow("check a good disc")      << "good"     << check   << 0 << "Checked: nothing found" << none << "Game.dat";
    QTest::newRow("check, warnings")        << "warnings" << check   << 0 << "Checked: 1 warning"     << none << "Game.dat";
    QTest::newRow("check, refused")         << "refused"  << check   << 0 << "Refused"                << none << "Game.dat";
    QTest::newRow("convert a good disc")    << "good"     << convert << 0 << "Converted"              << QStringList{ "Game.cue" } << "Game.dat";
    QTest::newRow("convert, warnings")      << "warnings" << convert << 0 << "Converted with warnings" << QStringList{ "Game.cue" } << "Game.dat";
    QTest::newRow("convert, refused")       << "refused"  << convert << 0 << "Refused"                << none << "Game.dat";
    QTest::newRow("convert a table of contents alone") << "toc" << convert << 0 << "Converted with warnings" << QStringList{ "Game.cue" } << "Game.dat";
    QTest::newRow("convert it rebuilt")     << "toc" << QList<Qt::Key>{ Qt::Key_N, Qt::Key_V } << 0 << "Converted with warnings" << QStringList{ "Game.cue" } << "Game.dat";
    QTest::newRow("verify, a match")        << "verified" << verify  << 0 << "Matches Game"           << none << "Game.dat";
    QTest::newRow("verify, at an offset")   << "verified" << verify  << 6 << "Matches Game at an offset of +6 samples" << none << "Game.dat";
    QTest::newRow("verify, no match")       << "verified" << verify  << 30000 << "Does not match"     << none << "Game.dat";
    QTest::newRow("verify, a DAT dropped")  << "verified" << QList<Qt::Key>{} << -4 << "Matches Game at an offset of -4 samples" << none << "Game.dat";
    QTest::newRow("split where verify found the offset") << "verified" << QList<Qt::Key>{ Qt::Key_Y, Qt::Key_P } << 6 << "Split into its tracks" << tracks << "Game.dat";
    QTest::newRow("verify, a zipped DAT dropped") << "verified" << QList<Qt::Key>{} << -4 << "Matches Game at an offset of -4 samples" << none << "Game.zip";
    QTest::newRow("verify, a gzipped DAT chosen") << "verified" << verify << 6 << "Matches Game at an offset of +6 samples" << none << "Game.dat.gz";
    QTest::newRow("split with the DAT's names") << "verified" << QList<Qt::Key>{ Qt::Key_Y, Qt::Key_W, Qt::Key_P } << 6 << "Split into its tracks" << QStringList{ "Game (Europe) (Track 1).bin", "Game (Europe) (Track 2).bin", "Game (Europe).cue" } << "Game (Europe).zip";
    QTest::newRow("split with the names of a DAT chosen") << "verified" << QList<Qt::Key>{ Qt::Key_W, Qt::Key_P } << -4 << "Split into its tracks" << QStringList{ "Game (Europe) (Track 1).bin", "Game (Europe) (Track 2).bin", "Game (Europe).cue" } << "Game (Europe).dat";
    QTest::newRow("split with the names of a DAT it does not match") << "verified" << QList<Qt::Key>{ Qt::Key_W, Qt::Key_P } << 30000 << "Refused" << none << "Game (Europe).dat";
    // clang-format on
}

void TestDiscList::states()
{
    QFETCH(QString, kind);
    QFETCH(QList<Qt::Key>, keys);
    QFETCH(int, offset);
    QFETCH(QString, state);
    QFETCH(QStringList, written);
    QFETCH(QString, dat);

    makeDisc("Game", kind);
    const QString game = dat.section(u'.', 0, 0);
    const QByteArray datText = datOf(readFile(path("Game.img")), offset, game.toUtf8());
    if (dat.endsWith(".zip"))
        QVERIFY(writeFile(path(dat), zipped({ { game + ".dat", datText } })));
    else
        QVERIFY(writeFile(path(dat), dat.endsWith(".gz") ? gzipped(datText) : datText));
    window->chooseDat = [this, dat] { return path(dat); };
    auto *view = window->findChild<QTreeView *>(QStringLiteral("discs"));
    drop(view->viewport(), { "Game.ccd" });
    static_cast<void>(QTest::qWaitFor(
        [&] { return listed() == QStringList{ "Game.ccd" }; })); // the comparison says what differs
    QCOMPARE(listed(), QStringList{ "Game.ccd" });
    const QMap<QString, QByteArray> before = filesBelow(dir.path());

    if (keys.isEmpty()) {
        drop(view->viewport(), { dat });
        QVERIFY(waitForRun());
    }
    for (const Qt::Key key : std::as_const(keys)) {
        view->setFocus();
        press(key);
        // Alt+N and Alt+W turn a choice on, and run nothing.
        if (key != Qt::Key_N && key != Qt::Key_W)
            QVERIFY(waitForRun());
    }
    QCOMPARE(stateOf(0), state);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));

    // Check and Verify write nothing; the others only their files.
    QMap<QString, QByteArray> after = filesBelow(dir.path());
    for (const QString &name : std::as_const(written))
        QVERIFY2(after.remove(name) == 1, qPrintable(name));
    QCOMPARE(after, before);
    // Split cut the audio where Verify found it: the DAT's own bytes.
    if (written.size() > 1) {
        const QByteArray audio = readFile(path(written[1]));
        QCOMPARE(QCryptographicHash::hash(audio, QCryptographicHash::Sha1).toHex(),
            datText.mid(datText.lastIndexOf("sha1=\"") + 6, 40));
    }
    // Its findings are what the run reported, and its cue sheet is shown.
    view->setCurrentIndex(window->model()->index(0, 0));
    const auto *findings = window->findChild<QPlainTextEdit *>(QStringLiteral("findings"));
    QVERIFY(QTest::qWaitFor([&] { return findings->toPlainText() != "Reading..."; }));
    QVERIFY(findings->isReadOnly());
    if (kind == u"warnings")
        QVERIFY2(findings->toPlainText().contains("cannot be decoded"),
            qPrintable(findings->toPlainText()));
    const bool hasTracks = state != u"Refused" && (kind != u"toc" || keys.contains(Qt::Key_N));
    // A split named after a DAT that the disc does not match is refused with Verify's verdict.
    if (kind == u"verified" && state == u"Refused")
        QVERIFY2(
            findings->toPlainText().contains(
                "after the DAT: the data tracks match \"Game (Europe)\", the audio tracks do not"),
            qPrintable(findings->toPlainText()));
    QCOMPARE(window->findChild<QPlainTextEdit *>(QStringLiteral("cueSheet"))
                 ->toPlainText()
                 .contains("TRACK 01"),
        hasTracks);
    if (kind == u"toc")
        QVERIFY2(findings->toPlainText().contains(
                     hasTracks ? "INDEX 00" : "\"Rebuild from the table of contents\""),
            qPrintable(findings->toPlainText()));
}

void TestDiscList::cancelling_data()
{
    QTest::addColumn<Qt::Key>("key");
    // clang-format off
    QTest::newRow("verify of a large image") << Qt::Key_Y;
    QTest::newRow("split of a large image")  << Qt::Key_P;
    // clang-format on
}

void TestDiscList::cancelling()
{
    QFETCH(Qt::Key, key);
    makeDisc("Large", "large");
    makeDisc("Later", "good");
    QVERIFY(writeFile(path("Any.dat"), datOf(randomImage(), 0)));
    window->chooseDat = [this] { return path("Any.dat"); };
    auto *view = window->findChild<QTreeView *>(QStringLiteral("discs"));
    drop(view->viewport(), { "Large.ccd", "Later.ccd" });
    static_cast<void>(QTest::qWaitFor([&] {
        return listed() == (QStringList{ "Large.ccd", "Later.ccd" });
    })); // the comparison says what differs
    QCOMPARE(listed(), (QStringList{ "Large.ccd", "Later.ccd" }));
    const QMap<QString, QByteArray> before = filesBelow(dir.path());

    view->setFocus();
    press(key);
    // The disc's own bar shows how far its reading has come, and the run's its own.
    const auto *runBar = window->findChild<QProgressBar *>(QStringLiteral("runProgress"));
    QVERIFY(QTest::qWaitFor([&] { return stateOf(0).contains('%'); }, 30000));
    QVERIFY2(window->model()
                 ->index(0, DiscListModel::StateColumn)
                 .data(DiscListModel::progressRole)
                 .toDouble()
            < 1,
        qPrintable(stateOf(0)));
    QVERIFY(runBar->value() < 500);
    press(Qt::Key_L);
    QVERIFY(waitForRun());
    QCOMPARE(stateOf(0), "Cancelled");
    QCOMPARE(stateOf(1), "Cancelled");
    // Nothing half-written, and no temporary file left.
    QCOMPARE(filesBelow(dir.path()), before);
    QVERIFY(window->summary().endsWith("2 cancelled"));
}

void TestDiscList::summaryAndReport()
{
    makeDisc("Good", "good");
    makeDisc("Warned", "warnings");
    makeDisc("Refused", "refused");
    makeDisc("Saga (Disc 1)", "good");
    makeDisc("Saga (Disc 2)", "good");
    auto *view = window->findChild<QTreeView *>(QStringLiteral("discs"));
    // A DAT dropped before any disc says what it needs, and runs nothing.
    QVERIFY(writeFile(path("Games.dat.gz"), "x"));
    drop(view->viewport(), { "Games.dat.gz" });
    QVERIFY(QTest::qWaitFor([&] { return !messages.isEmpty(); }));
    QCOMPARE(messages,
        QStringList{ "Disc List: Add the discs to verify first: a DAT dropped on "
                     "the list verifies the discs in it." });
    QCOMPARE(runsEnded->count(), 0);
    messages.clear();
    drop(view->viewport(),
        { "Good.ccd", "Warned.ccd", "Refused.ccd", "Saga (Disc 2).ccd", "Saga (Disc 1).ccd" });
    static_cast<void>(QTest::qWaitFor(
        [&] { return window->model()->rowCount() == 5; })); // the comparison says what differs
    QCOMPARE(window->model()->rowCount(), 5);
    view->setFocus();
    press(Qt::Key_G); // and a playlist for the game of two discs
    press(Qt::Key_V);
    QVERIFY(waitForRun());
    const QString summary = "4 converted, 1 with warnings, 1 refused, 1 playlist written";
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("summary"))->text(), summary);
    QVERIFY(messages.isEmpty());
    QCOMPARE(readFile(path("Saga.m3u")), QByteArray("Saga (Disc 1).cue\r\nSaga (Disc 2).cue\r\n"));

    QGuiApplication::clipboard()->clear();
    press(Qt::Key_R);
    QVERIFY(QTest::qWaitFor([&] { return !QGuiApplication::clipboard()->text().isEmpty(); }));
    const QString report = QGuiApplication::clipboard()->text();
    QCOMPARE(report, window->report());
    QVERIFY2(report.startsWith("Good.ccd: Converted\nWarned.ccd"), qPrintable(report));
    QVERIFY2(report.contains("Warned.ccd: Converted with warnings\n"), qPrintable(report));
    QVERIFY2(report.contains("Warned.ccd: CD-Text left out"), qPrintable(report));
    QVERIFY2(report.contains("Refused.ccd: Refused\nFile Error: "), qPrintable(report));
    QVERIFY2(report.contains("Saga.m3u"), qPrintable(report));
    QVERIFY(report.endsWith("\n\n" + summary + "\n"));
}

void TestDiscList::keyboard()
{
    // Each button and choice has an access letter of its own.
    QMap<QChar, QString> letters;
    const auto take = [&](QString text) {
        const qsizetype at = text.indexOf('&');
        QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text));
        const QChar letter = text[at + 1].toLower();
        QVERIFY2(!letters.contains(letter), qPrintable(text + " and " + letters.value(letter)));
        letters.insert(letter, text);
    };
    QList<QAbstractButton *> buttons;
    for (QPushButton *button : window->findChildren<QPushButton *>())
        buttons.append(button);
    for (QCheckBox *box : window->findChildren<QCheckBox *>())
        buttons.append(box);
    for (const QAbstractButton *button : std::as_const(buttons)) {
        take(button->text());
        QVERIFY(!button->accessibleName().isEmpty());
    }
    const auto *panes = window->findChild<QTabWidget *>(QStringLiteral("panes"));
    for (int tab = 0; tab < panes->count(); ++tab)
        take(panes->tabText(tab));
    QCOMPARE(letters.size(), 19);

    makeDisc("First", "good");
    QVERIFY(writeFile(path("Second.ccd"), dumpFile())); // no image: a finding
    auto *view = window->findChild<QTreeView *>(QStringLiteral("discs"));
    drop(view->viewport(), { "First.ccd", "Second.ccd" });
    static_cast<void>(QTest::qWaitFor(
        [&] { return window->model()->rowCount() == 2; })); // the comparison says what differs
    QCOMPARE(window->model()->rowCount(), 2);
    // Tab goes from the buttons to the list; Enter there shows the findings.
    window->findChild<QWidget *>(QStringLiteral("remove"))->setFocus();
    press(Qt::Key_Tab, Qt::NoModifier);
    QCOMPARE(QApplication::focusWidget(), view);
    press(Qt::Key_Down, Qt::NoModifier);
    QCOMPARE(view->currentIndex().row(), 1);
    press(Qt::Key_Return, Qt::NoModifier);
    const auto *findings = window->findChild<QPlainTextEdit *>(QStringLiteral("findings"));
    QCOMPARE(QApplication::focusWidget(), findings);
    QVERIFY2(QTest::qWaitFor([&] {
        return findings->toPlainText().contains("is not beside the control file");
    }),
        qPrintable(findings->toPlainText()));
    // Delete takes the disc away, and the files stay. Under wine 10 the window
    // may have lost its activation meanwhile, and with it the keyboard.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    view->setFocus();
    press(Qt::Key_Delete, Qt::NoModifier);
    QCOMPARE(listed(), QStringList{ "First.ccd" });
    QVERIFY(QFile::exists(path("Second.ccd")));
}

void TestDiscList::closingWhileWorking()
{
    makeDisc("Large", "large");
    auto *view = window->findChild<QTreeView *>(QStringLiteral("discs"));
    drop(view->viewport(), { "Large.ccd" });
    static_cast<void>(QTest::qWaitFor(
        [&] { return window->model()->rowCount() == 1; })); // the comparison says what differs
    QCOMPARE(window->model()->rowCount(), 1);
    const QMap<QString, QByteArray> before = filesBelow(dir.path());
    int asked = 0;
    bool answer = false;
    window->confirmClose = [&] {
        ++asked;
        return answer;
    };
    view->setFocus();
    press(Qt::Key_P);
    QVERIFY(QTest::qWaitFor([&] { return stateOf(0).contains('%'); }, 30000));
    // Asked first: No keeps the window and its work.
    QVERIFY(!window->close());
    QCOMPARE(asked, 1);
    QVERIFY(window->isVisible());
    QVERIFY2(window->isWorking(), qPrintable(stateOf(0)));
    answer = true;
    QVERIFY(window->close());
    QCOMPARE(asked, 2);
    QVERIFY(waitForRun());
    QCOMPARE(stateOf(0), "Cancelled");
    QCOMPARE(filesBelow(dir.path()), before);
}

QTEST_MAIN(TestDiscList)
#include "tst_discList.moc"
