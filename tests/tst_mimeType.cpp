#include "controlFiles.h"

#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>

// The MIME type that the package installs for control files, looked up the
// way desktop programs do: through the shared MIME database.
class TestMimeType : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlFiles_data();
    void controlFiles();

private:
    QTemporaryDir folder;
};

void TestMimeType::initTestCase()
{
    QVERIFY(folder.isValid());
    // The package's MIME data first, then the system's.
    const QByteArray system = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS",
        QByteArray(MORVANT_MIME_DATA_DIR ":") + (system.isEmpty() ? "/usr/share" : system));
}

void TestMimeType::controlFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    ControlFile file;
    file.tocEntries = 4;
    const QByteArray control = controlFile(file);
    const QString type = QStringLiteral("application/x-clonecd-control");
    // clang-format off
    QTest::newRow("by its name")         << "Game.ccd"     << control                << type;
    QTest::newRow("name in capitals")    << "GAME.CCD"     << control                << type;
    QTest::newRow("by its first line")   << "control"      << control                << type;
    QTest::newRow("first line, .txt")    << "notes.txt"    << control                << "text/plain";
    QTest::newRow("other INI text")      << "settings"     << QByteArray("[Disc]\r\nSessions=1\r\n")
                                         << "text/plain";
    QTest::newRow("line further down")   << "notes"        << QByteArray("see\r\n[CloneCD]\r\n")
                                         << "text/plain";
    // clang-format on
}

void TestMimeType::controlFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFile file(folder.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const QMimeType found = QMimeDatabase().mimeTypeForFile(file.fileName());
    QCOMPARE(found.name(), expected);
    if (expected != u"text/plain") {
        QVERIFY(found.inherits(QStringLiteral("text/plain")));
        QCOMPARE(found.comment(), QStringLiteral("CloneCD control file"));
    }
}

QTEST_GUILESS_MAIN(TestMimeType)
#include "tst_mimeType.moc"
