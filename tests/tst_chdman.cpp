#include "controlFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

// What a reader that understands sessions makes of the multi-session sheets:
// chdman (MAME 0.276 and later, Debian 13's mame-tools) reads REM SESSION and
// REM LEAD-OUT, and takes an image named .img to hold no space between the
// sessions. A disc whose every sector carries its own address is converted,
// made into a CD image and extracted again; the sector at each track's
// INDEX 01 must be that track's own.

namespace {

// Two audio tracks in session 1, then a data track in each later session:
// 11,400 sectors between session 1's lead-out and session 2, 6,900 between
// later ones, as on a disc.
Disc discOf(int sessions)
{
    Disc disc{ { { 1, 0x00, 0, {}, {}, 0, 1 }, { 2, 0x00, 0, {}, 150, 300, 1 },
                   { 3, 0x04, 1, {}, 11850, 12000, 2 } },
        { 600, 12300 } };
    if (sessions == 3) {
        disc.tracks << Track{ 4, 0x04, 1, {}, 19050, 19200, 3 }
                    << Track{ 5, 0x04, 1, {}, {}, 19500, 3 };
        disc.leadOuts << 19800;
    }
    return disc;
}

/// A sector that carries its disc address: a data sector in its header, every sector as
/// a 4-byte number repeated through it.
QByteArray sectorOf(qint64 address, bool isData)
{
    QByteArray sector(sectorBytes, '\0');
    for (qsizetype at = 0; at < sectorBytes; at += 4)
        qToLittleEndian(qint32(address), sector.data() + at);
    if (isData)
        sector.replace(0, 16, sectorHeader(address, 1));
    return sector;
}

/// The control file of \a disc, with neither a TocEntries= line nor a [Session] section.
QByteArray controlFileOf(const Disc &disc)
{
    ControlFile file = dumpOf(disc, true);
    file.tocEntries.reset();
    file.preGapMode.clear();
    return controlFile(file);
}

/** The image of \a disc holding session 1, then each later session from
    \a fromPregap its first track's pregap or its INDEX 1; with \a everySector
    the space between the sessions too, as a hole in the file. */
bool writeImage(const QString &path, const Disc &disc, bool fromPregap, bool everySector)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (qsizetype s = 0; s < disc.leadOuts.size(); ++s) {
        const Track *first = nullptr;
        for (const Track &track : disc.tracks) {
            if (track.session == s + 1 && !first)
                first = &track;
        }
        const qint64 from = s == 0      ? 0
            : fromPregap || everySector ? first->start - 150
                                        : first->start;
        if (everySector && !file.seek(from * sectorBytes))
            return false;
        for (qint64 address = from; address < disc.leadOuts[s]; ++address) {
            bool isData = false;
            for (const Track &track : disc.tracks) {
                if (address >= track.pregap.value_or(track.start))
                    isData = track.mode != 0;
            }
            if (file.write(sectorOf(address, isData)) != sectorBytes)
                return false;
        }
    }
    return true;
}

Run runIn(const QString &program, const QStringList &arguments)
{
    return run(program, arguments, QDir::currentPath(), withoutDisplay());
}

/** What chdman's extracted back.bin holds at each INDEX 01 that back.cue
    gives: the disc address that the sector carries; \a own gets the track's own. */
QList<qint64> readAtIndexOne(const Disc &disc, QList<qint64> *own)
{
    // back.cue names back.bin alone, its positions places in it.
    QFile back("back.bin");
    if (!back.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression indexOne(
        QStringLiteral("TRACK ([0-9]+)[^\\n]*\\n(?:[^\\n]*INDEX 00[^\\n]*\\n)?\\s*INDEX 01 "
                       "([0-9]+):([0-9]{2}):([0-9]{2})"));
    QList<qint64> read;
    for (auto match = indexOne.globalMatch(QString::fromLatin1(readFile("back.cue")));
         match.hasNext();) {
        const auto found = match.next();
        const qint64 at =
            (found.captured(2).toLongLong() * 60 + found.captured(3).toLongLong()) * 75
            + found.captured(4).toLongLong();
        if (!back.seek(at * sectorBytes + 16))
            return {};
        read << qFromLittleEndian<qint32>(back.read(4).constData());
        *own << disc.tracks[found.captured(1).toInt() - 1].start;
    }
    return read;
}

} // namespace

class TestChdman : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsEachSession_data();
    void readsEachSession();
    void readsSplitFiles_data();
    void readsSplitFiles();

private:
    TestFolder folder{ TestFolder::Current };
    QString program;
    QString chdman;
};

void TestChdman::initTestCase()
{
    program = QFileInfo(QStringLiteral(MORVANT_PATH)).absoluteFilePath();
    chdman = QStandardPaths::findExecutable(QStringLiteral("chdman"));
    if (chdman.isEmpty())
        QSKIP("no chdman (mame-tools) on this system");
    const Run usage = run(chdman, {}, QDir::currentPath(), withoutDisplay());
    const auto version = QRegularExpression(QStringLiteral("manager 0\\.([0-9]+)"))
                             .match(QString::fromUtf8(usage.out + usage.err));
    if (!version.hasMatch() || version.captured(1).toInt() < 276)
        QSKIP("this chdman is older than 0.276 and reads no sessions from a cue sheet");
}

void TestChdman::init()
{
    folder.init();
}

void TestChdman::cleanup()
{
    folder.cleanup();
}

void TestChdman::readsEachSession_data()
{
    QTest::addColumn<int>("sessions");
    QTest::addColumn<bool>("fromPregap");
    QTest::addColumn<bool>("everySector");
    QTest::addColumn<bool>("isRead"); // every track's own sector at its INDEX 01

    for (const int sessions : { 2, 3 }) {
        const auto row = [sessions](const char *name) {
            return &QTest::addRow("%d sessions, %s", sessions, name);
        };
        *row("an image without the space between them") << sessions << false << false << true;
        *row("an image with each later session's first pregap")
            << sessions << true << false << true;
        // The sheet warns that such readers do not read this image right.
        *row("an image with the space between them") << sessions << false << true << false;
    }
}

void TestChdman::readsEachSession()
{
    QFETCH(int, sessions);
    QFETCH(bool, fromPregap);
    QFETCH(bool, everySector);
    QFETCH(bool, isRead);

    const Disc disc = discOf(sessions);
    QVERIFY(writeFile("Disc.ccd", controlFileOf(disc)));
    QVERIFY(writeImage("Disc.img", disc, fromPregap, everySector));
    const Run converted = runIn(program, { "--no-window", "--sessions", "Disc.ccd" });
    QCOMPARE(converted.status, 0);
    QCOMPARE(converted.err.contains("warning"), everySector);

    const Run created = runIn(chdman, { "createcd", "-i", "Disc.cue", "-o", "Disc.chd" });
    QVERIFY2(created.status == 0, created.err.constData());
    const Run extracted =
        runIn(chdman, { "extractcd", "-i", "Disc.chd", "-o", "back.cue", "-ob", "back.bin" });
    QVERIFY2(extracted.status == 0, extracted.err.constData());

    QList<qint64> own;
    const QList<qint64> read = readAtIndexOne(disc, &own);
    QCOMPARE(read.size(), disc.tracks.size());
    if (isRead)
        QCOMPARE(read, own);
    else
        QVERIFY(read.last() != own.last());
}

void TestChdman::readsSplitFiles_data()
{
    QTest::addColumn<int>("sessions");

    QTest::newRow("one session") << 1;
    QTest::newRow("2 sessions") << 2;
    QTest::newRow("3 sessions") << 3;
}

// The sheet of one file per track makes the CD image that the image's own
// sheet makes, and gives back the image, byte for byte.
void TestChdman::readsSplitFiles()
{
    QFETCH(int, sessions);

    Disc disc = discOf(qMax(sessions, 2));
    if (sessions == 1) {
        disc.tracks.removeLast();
        disc.leadOuts = { 600 };
    }
    QVERIFY(writeFile("Disc.ccd", controlFileOf(disc)));
    QVERIFY(writeImage("Disc.img", disc, false, false));
    const auto tracksOf = [this](const QString &chd) {
        const Run info = runIn(chdman, { "info", "-v", "-i", chd });
        static const QRegularExpression track(QStringLiteral("TRACK:[^\n]*"));
        QStringList tracks;
        for (auto match = track.globalMatch(QString::fromUtf8(info.out)); match.hasNext();)
            tracks << match.next().captured();
        return tracks;
    };
    QCOMPARE(runIn(program, { "--no-window", "--sessions", "Disc.ccd" }).status, 0);
    QCOMPARE(runIn(chdman, { "createcd", "-i", "Disc.cue", "-o", "Whole.chd" }).status, 0);
    const Run split = runIn(program, { "--split", "--sessions", "Disc.ccd" });
    QVERIFY2(split.status == 0, split.err.constData());
    const Run created = runIn(chdman, { "createcd", "-i", "Disc.cue", "-o", "Disc.chd" });
    QVERIFY2(created.status == 0, created.err.constData());
    const QStringList tracks = tracksOf("Disc.chd");
    QCOMPARE(tracks.size(), disc.tracks.size());
    QCOMPARE(tracks, tracksOf("Whole.chd"));

    const Run extracted =
        runIn(chdman, { "extractcd", "-i", "Disc.chd", "-o", "back.cue", "-ob", "back.bin" });
    QVERIFY2(extracted.status == 0, extracted.err.constData());
    QVERIFY(readFile("back.bin") == readFile("Disc.img"));
}

QTEST_GUILESS_MAIN(TestChdman)
#include "tst_chdman.moc"
