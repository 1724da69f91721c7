#include "testHelpers.h"

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

constexpr qint64 sectorBytes = 2352;

struct DiscTrack
{
    int number;
    int session;
    bool isData;
    qint64 pregap; ///< -1 for none in the control file
    qint64 start;
};

struct Disc
{
    QList<DiscTrack> tracks;
    QList<qint64> leadOuts; ///< of each session
};

// Two audio tracks in session 1, then a data track in each later session:
// 11,400 sectors between session 1's lead-out and session 2, 6,900 between
// later ones, as on a disc.
Disc discOf(int sessions)
{
    Disc disc{ { { 1, 1, false, -1, 0 }, { 2, 1, false, 150, 300 }, { 3, 2, true, 11850, 12000 } },
        { 600, 12300 } };
    if (sessions == 3) {
        disc.tracks << DiscTrack{ 4, 3, true, 19050, 19200 } << DiscTrack{ 5, 3, true, -1, 19500 };
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
    if (isData) {
        const auto bcd = [](qint64 value) { return char((value / 10) << 4 | value % 10); };
        const qint64 time = address + 150;
        sector.replace(0, 16,
            QByteArray::fromHex("00ffffffffffffffffffff00") + bcd(time / 4500) + bcd(time / 75 % 60)
                + bcd(time % 75) + char(1));
    }
    return sector;
}

QByteArray controlFile(const Disc &disc)
{
    QByteArray text = "[CloneCD]\nVersion=3\n[Disc]\nSessions="
        + QByteArray::number(disc.leadOuts.size()) + "\nDataTracksScrambled=0\nCDTextLength=0\n";
    int entry = 0;
    const auto add = [&](int session, int point, bool isData, qint64 plba) {
        text += QStringLiteral("[Entry %1]\nSession=%2\nPoint=0x%3\nADR=0x01\nControl=0x%4\n"
                               "TrackNo=0\nPLBA=%5\n")
                    .arg(entry++)
                    .arg(session)
                    .arg(point, 2, 16, QLatin1Char('0'))
                    .arg(isData ? 4 : 0, 2, 16, QLatin1Char('0'))
                    .arg(plba)
                    .toLatin1();
    };
    for (qsizetype s = 0; s < disc.leadOuts.size(); ++s)
        add(int(s + 1), 0xa2, s > 0, disc.leadOuts[s]);
    for (const DiscTrack &track : disc.tracks)
        add(track.session, track.number, track.isData, track.start);
    for (const DiscTrack &track : disc.tracks) {
        text += "[TRACK " + QByteArray::number(track.number)
            + "]\nMODE=" + (track.isData ? "1" : "0") + '\n';
        if (track.pregap >= 0)
            text += "INDEX 0=" + QByteArray::number(track.pregap) + '\n';
        text += "INDEX 1=" + QByteArray::number(track.start) + '\n';
    }
    return crlf(text);
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
        const DiscTrack *first = nullptr;
        for (const DiscTrack &track : disc.tracks) {
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
            for (const DiscTrack &track : disc.tracks) {
                if (address >= (track.pregap >= 0 ? track.pregap : track.start))
                    isData = track.isData;
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

private:
    std::optional<CurrentFolder> folder;
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
    folder.emplace();
    QVERIFY(folder->isCurrent());
}

void TestChdman::cleanup()
{
    folder.reset();
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
    QVERIFY(writeFile("Disc.ccd", controlFile(disc)));
    QVERIFY(writeImage("Disc.img", disc, fromPregap, everySector));
    const Run converted = runIn(program, { "--no-window", "--sessions", "Disc.ccd" });
    QCOMPARE(converted.status, 0);
    QCOMPARE(converted.err.contains("warning"), everySector);

    const Run created = runIn(chdman, { "createcd", "-i", "Disc.cue", "-o", "Disc.chd" });
    QVERIFY2(created.status == 0, created.err.constData());
    const Run extracted =
        runIn(chdman, { "extractcd", "-i", "Disc.chd", "-o", "back.cue", "-ob", "back.bin" });
    QVERIFY2(extracted.status == 0, extracted.err.constData());

    // back.cue names back.bin alone, its positions places in it.
    QFile back("back.bin");
    QVERIFY(back.open(QIODevice::ReadOnly));
    static const QRegularExpression indexOne(
        QStringLiteral("TRACK ([0-9]+)[^\\n]*\\n(?:[^\\n]*INDEX 00[^\\n]*\\n)?\\s*INDEX 01 "
                       "([0-9]+):([0-9]{2}):([0-9]{2})"));
    QList<qint64> read;
    QList<qint64> own;
    for (auto match = indexOne.globalMatch(QString::fromLatin1(readFile("back.cue")));
         match.hasNext();) {
        const auto found = match.next();
        const qint64 at =
            (found.captured(2).toLongLong() * 60 + found.captured(3).toLongLong()) * 75
            + found.captured(4).toLongLong();
        QVERIFY(back.seek(at * sectorBytes + 16));
        read << qFromLittleEndian<qint32>(back.read(4).constData());
        own << disc.tracks[found.captured(1).toInt() - 1].start;
    }
    QCOMPARE(read.size(), disc.tracks.size());
    if (isRead)
        QCOMPARE(read, own);
    else
        QVERIFY(read.last() != own.last());
}

QTEST_GUILESS_MAIN(TestChdman)
#include "tst_chdman.moc"
